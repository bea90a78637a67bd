// Any bytes survive the view of every encoding unchanged, and byte offsets
// and editor positions map onto each other.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "text/DocumentView.h"
#include "text/GbkCodec.h"
#include "text/TextCodec.h"

namespace {

// The other encodings, whose characters take one to four bytes and may follow
// a byte-order mark.
void checkEncoding(const QByteArray& bytes, TextEncoding encoding) {
    for (const auto ending :
         {GbkCodec::LineEnding::None, GbkCodec::LineEnding::Lf, GbkCodec::LineEnding::CrLf}) {
        std::vector<quint32> offsets;
        const QString text = TextCodec::decode(bytes, encoding, ending, &offsets);
        QString unencodable;
        FUZZ_CHECK(TextCodec::encode(text, encoding, ending, &unencodable) == bytes);
        FUZZ_CHECK(unencodable.isEmpty());
        FUZZ_CHECK(offsets.size() == size_t(text.size()) + 1);
        FUZZ_CHECK(offsets.front() == 0 && offsets.back() == quint32(bytes.size()));
    }

    const DocumentView view(bytes, encoding);
    const QString& text = view.text();
    FUZZ_CHECK(view.byteSize() == bytes.size());
    QString unencodable;
    FUZZ_CHECK(view.encode(text, &unencodable) == bytes);
    FUZZ_CHECK(unencodable.isEmpty());
    const qsizetype mark = TextCodec::byteOrderMark(bytes, encoding).size();
    FUZZ_CHECK(view.byteOffsetOf(0) == (text.isEmpty() ? bytes.size() : mark));
    // Each character (a surrogate pair together) encodes to exactly its own bytes.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype units = text.at(i).isHighSurrogate() ? 2 : 1;
        const qsizetype begin = view.byteOffsetOf(i);
        const qsizetype end = view.byteOffsetOf(i + units);
        FUZZ_CHECK(end - begin >= 1 && end - begin <= 4);
        FUZZ_CHECK(view.charIndexOf(begin) == i);
        FUZZ_CHECK(TextCodec::encode(text.mid(i, units), encoding, view.lineEnding(), nullptr) ==
                   bytes.mid(begin, end - begin));
        FUZZ_CHECK(view.charRange(begin, end - begin) == std::make_pair(i, i + units));
        i += units - 1;
    }
    for (qsizetype b = mark; b < bytes.size(); ++b) {
        const qsizetype i = view.charIndexOf(b);
        FUZZ_CHECK(i >= 0 && i < text.size());
        FUZZ_CHECK(view.byteOffsetOf(i) <= b && b < view.byteOffsetOf(i + 1));
    }
    FUZZ_CHECK(view.charIndexOf(bytes.size()) == text.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    for (const auto ending :
         {GbkCodec::LineEnding::None, GbkCodec::LineEnding::Lf, GbkCodec::LineEnding::CrLf}) {
        std::vector<quint32> offsets;
        const QString text = GbkCodec::decode(bytes, ending, &offsets);
        QString unencodable;
        FUZZ_CHECK(GbkCodec::encode(text, ending, &unencodable) == bytes);
        FUZZ_CHECK(unencodable.isEmpty());
        FUZZ_CHECK(offsets.size() == size_t(text.size()) + 1);
        FUZZ_CHECK(offsets.front() == 0 && offsets.back() == size);
    }

    const DocumentView view(bytes);
    const QString& text = view.text();
    FUZZ_CHECK(view.byteSize() == bytes.size());
    std::vector<quint32> offsets;
    FUZZ_CHECK(GbkCodec::decode(bytes, view.lineEnding(), &offsets) == view.text());
    QString unencodable;
    FUZZ_CHECK(view.encode(text, &unencodable) == bytes);
    FUZZ_CHECK(unencodable.isEmpty());

    // Every character starts where the previous one ended, one or two bytes on,
    // and encodes to exactly its own bytes.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype begin = view.byteOffsetOf(i);
        const qsizetype end = view.byteOffsetOf(i + 1);
        FUZZ_CHECK(end - begin == 1 || end - begin == 2);
        FUZZ_CHECK(begin == qsizetype(offsets[size_t(i)]));
        FUZZ_CHECK(view.charIndexOf(begin) == i);
        FUZZ_CHECK(view.encode(text.mid(i, 1), nullptr) == bytes.mid(begin, end - begin));
        FUZZ_CHECK(view.charRange(begin, end - begin) == std::make_pair(i, i + 1));
    }
    // Every byte lies in the character the view says, and a byte range maps
    // to the characters that cover it.
    for (qsizetype b = 0; b < bytes.size(); ++b) {
        const qsizetype i = view.charIndexOf(b);
        FUZZ_CHECK(i >= 0 && i < text.size());
        FUZZ_CHECK(view.byteOffsetOf(i) <= b && b < view.byteOffsetOf(i + 1));
        const qsizetype length = (b * 7 + 3) % 9 + 1;
        const auto [first, last] = view.charRange(b, length);
        FUZZ_CHECK(first == i);
        FUZZ_CHECK(view.byteOffsetOf(last) >= std::min(bytes.size(), b + length));
        FUZZ_CHECK(last == first + 1 || view.byteOffsetOf(last - 1) < b + length);
    }
    FUZZ_CHECK(view.charIndexOf(bytes.size()) == text.size());

    for (const auto encoding :
         {TextEncoding::Utf8, TextEncoding::Utf16Le, TextEncoding::Utf16Be, TextEncoding::Gb18030})
        checkEncoding(bytes, encoding);
    return 0;
}
