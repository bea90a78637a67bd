#include "text/GbkCodec.h"

#include <iconv.h>

#include <array>
#include <memory>
#include <vector>

#include "text/RawBytes.h"

namespace {

constexpr int kLeadFirst = 0x81;
constexpr int kLeadCount = 0xFE - 0x81 + 1;
constexpr int kTrailCount = 256;

bool isLead(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool isTrail(unsigned char b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

// Tables built once from glibc's CP936. A pair counts only when it converts to
// one BMP character and that character converts back to the same pair, so that
// decoding never merges two byte sequences into one character.
struct Tables {
    std::vector<char16_t> toUnicode = std::vector<char16_t>(kLeadCount * kTrailCount, 0);
    std::vector<quint16> toGbk = std::vector<quint16>(65536, 0);

    Tables() {
        iconv_t forward = iconv_open("UTF-16LE", "CP936");
        iconv_t backward = iconv_open("CP936", "UTF-16LE");
        if (forward == reinterpret_cast<iconv_t>(-1) || backward == reinterpret_cast<iconv_t>(-1))
            return;  // no tables: every high byte then shows as a raw byte
        for (int lead = kLeadFirst; lead <= 0xFE; ++lead) {
            for (int trail = 0x40; trail <= 0xFE; ++trail) {
                if (!isTrail(static_cast<unsigned char>(trail))) continue;
                char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                char out[8];
                char* inPtr = in;
                char* outPtr = out;
                size_t inLeft = 2, outLeft = sizeof out;
                iconv(forward, nullptr, nullptr, nullptr, nullptr);
                if (iconv(forward, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
                    inLeft != 0 || sizeof out - outLeft != 2)
                    continue;
                const char16_t ch = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                                          static_cast<unsigned char>(out[1]) << 8);
                // Characters the editor would alter (folded breaks, spaces) stay raw bytes.
                if (ch < 0x80 || (ch >= 0xD800 && ch <= 0xDFFF) || isKeptAsRawBytes(ch)) continue;
                char back[4];
                char* backIn = out;
                char* backOut = back;
                size_t backInLeft = 2, backOutLeft = sizeof back;
                iconv(backward, nullptr, nullptr, nullptr, nullptr);
                if (iconv(backward, &backIn, &backInLeft, &backOut, &backOutLeft) ==
                        static_cast<size_t>(-1) ||
                    sizeof back - backOutLeft != 2 || back[0] != in[0] || back[1] != in[1])
                    continue;
                toUnicode[(lead - kLeadFirst) * kTrailCount + trail] = ch;
                toGbk[ch] = static_cast<quint16>(lead << 8 | trail);
            }
        }
        iconv_close(forward);
        iconv_close(backward);
    }
};

const Tables& tables() {
    static const Tables instance;
    return instance;
}

}  // namespace

bool GbkCodec::startsPair(const char* bytes, qsizetype size, qsizetype at) {
    return at + 1 < size && isLead(static_cast<unsigned char>(bytes[at])) &&
           isTrail(static_cast<unsigned char>(bytes[at + 1]));
}

bool GbkCodec::isCharacterBoundary(const QByteArray& bytes, qsizetype at) {
    qsizetype i = 0;
    while (i < at) i += characterLength(bytes.constData(), bytes.size(), i);
    return i == at;
}

bool GbkCodec::isWholeCharacters(const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) continue;
        if (i + 1 >= bytes.size() ||
            decodePair(lead, static_cast<unsigned char>(bytes[i + 1])) == 0)
            return false;
        ++i;
    }
    return true;
}

bool GbkCodec::endsInLead(const char* bytes, qsizetype size) {
    qsizetype i = 0;
    while (i < size - 1) i += characterLength(bytes, size, i);
    return i == size - 1 && isLead(static_cast<unsigned char>(bytes[i]));
}

char16_t GbkCodec::decodePair(unsigned char lead, unsigned char trail) {
    if (!isLead(lead) || !isTrail(trail)) return 0;
    return tables().toUnicode[(lead - kLeadFirst) * kTrailCount + trail];
}

quint16 GbkCodec::encodeCharacter(char16_t ch) { return tables().toGbk[ch]; }

const quint16* GbkCodec::encodeTable() { return tables().toGbk.data(); }

GbkCodec::LineEnding GbkCodec::dominantLineEnding(const QByteArray& bytes) {
    qsizetype crlf = 0, lf = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\n') continue;
        if (i > 0 && bytes[i - 1] == '\r')
            ++crlf;
        else
            ++lf;
    }
    return crlf >= 1 && crlf >= lf ? LineEnding::CrLf : LineEnding::Lf;
}

QString GbkCodec::decode(const QByteArray& bytes, LineEnding lineEnding,
                         std::vector<quint32>* offsets) {
    QString text;
    text.reserve(bytes.size());
    if (offsets) {
        offsets->clear();
        offsets->reserve(bytes.size() + 1);
    }
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    auto put = [&](char16_t ch, qsizetype at) {
        text.append(QChar(ch));
        if (offsets) offsets->push_back(static_cast<quint32>(at));
    };
    for (qsizetype i = 0; i < size;) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (lineEnding != LineEnding::None && (b == '\r' || b == '\n')) {
            const bool pair = b == '\r' && i + 1 < size && data[i + 1] == '\n';
            if (lineEnding == LineEnding::CrLf && pair) {
                put(u'\n', i);
                i += 2;
            } else if (lineEnding == LineEnding::Lf && b == '\n') {
                put(u'\n', i);
                ++i;
            } else {
                // A stray CR, or the other line ending: the editor would fold it.
                put(static_cast<char16_t>(kRawByteBase + b), i);
                ++i;
            }
            continue;
        }
        if (b < 0x80) {
            put(static_cast<char16_t>(b), i);
            ++i;
            continue;
        }
        if (startsPair(data, size, i)) {
            const char16_t ch = decodePair(b, static_cast<unsigned char>(data[i + 1]));
            if (ch != 0) {
                put(ch, i);
                i += 2;
                continue;
            }
        }
        put(static_cast<char16_t>(kRawByteBase + b), i);
        ++i;
    }
    if (offsets) offsets->push_back(static_cast<quint32>(size));
    return text;
}

QByteArray GbkCodec::encode(const QString& text, LineEnding lineEnding, QString* unencodable) {
    // No character takes more than two bytes.
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    char* out = bytes.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text.at(i).unicode();
        if (ch == u'\n' && lineEnding == LineEnding::CrLf) {
            *out++ = '\r';
            *out++ = '\n';
        } else if (ch < 0x80) {
            *out++ = static_cast<char>(ch);
        } else if (ch >= kRawByteBase && ch <= kRawByteBase + 0xFF) {
            *out++ = static_cast<char>(ch - kRawByteBase);
        } else if (const quint16 pair = encodeCharacter(ch); pair != 0) {
            *out++ = static_cast<char>(pair >> 8);
            *out++ = static_cast<char>(pair & 0xFF);
        } else {
            // A surrogate pair is one character to the user: name it whole.
            QString character{QChar(ch)};
            if (QChar::isHighSurrogate(ch) && i + 1 < text.size() &&
                text.at(i + 1).isLowSurrogate())
                character.append(text.at(++i));
            if (unencodable && !unencodable->contains(character)) unencodable->append(character);
        }
    }
    bytes.truncate(out - bytes.constData());
    return bytes;
}
