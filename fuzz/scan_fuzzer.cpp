// The scan against the plainest search there is: every hit is an unexcused
// occurrence of its wrong form on a character boundary, and none is missed;
// and the same text in UTF-8 or UTF-16 gives the same hits, placed in its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FuzzCheck.h"
#include "FuzzText.h"
#include "proofread/DocumentScan.h"
#include "proofread/Scanner.h"
#include "text/GbkCodec.h"
#include "text/TextCodec.h"

namespace {

// Byte by byte, independent of the engine and of the codec.
std::vector<Hit> reference(const std::vector<EntryLine>& entries, const QByteArray& doc) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(doc[i]); };
    std::vector<bool> boundary(size_t(doc.size()) + 1, false);
    for (qsizetype i = 0; i < doc.size();) {
        boundary[size_t(i)] = true;
        const bool pair = i + 1 < doc.size() && byte(i) >= 0x81 && byte(i) <= 0xFE &&
                          ((byte(i + 1) >= 0x40 && byte(i + 1) <= 0x7E) ||
                           (byte(i + 1) >= 0x80 && byte(i + 1) <= 0xFE));
        i += pair ? 2 : 1;
    }
    const auto at = [&](qsizetype p, const QByteArray& what) {
        if (p < 0 || p + what.size() > doc.size()) return false;
        for (qsizetype j = 0; j < what.size(); ++j)
            if (doc[p + j] != what[j]) return false;
        return true;
    };
    std::vector<Hit> hits;
    for (size_t k = 0; k < entries.size(); ++k) {
        const QByteArray& wrong = entries[k].wrong;
        const qsizetype w = wrong.size();
        if (w == 0) continue;
        for (qsizetype p = 0; p + w <= doc.size();) {
            if (!boundary[size_t(p)] || (p + w < doc.size() && !boundary[size_t(p + w)]) ||
                !at(p, wrong)) {
                ++p;
                continue;
            }
            bool excused = false;
            for (const QByteArray& phrase : entries[k].exceptions.split(';')) {
                if (phrase.isEmpty()) continue;
                const qsizetype d = std::abs(phrase.size() - w);
                for (qsizetype q = std::max<qsizetype>(0, p - d);
                     q + phrase.size() <= std::min(doc.size(), p + w + d) && !excused; ++q)
                    excused = at(q, phrase);
            }
            if (!excused) hits.push_back({qsizetype(k), p + 1, w});
            p += w;
        }
    }
    return hits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<EntryLine> entries(in.ConsumeIntegralInRange<size_t>(1, 6));
    for (EntryLine& e : entries) {
        e.wrong = takeText(in, 3);
        e.right = takeText(in, 2);
        e.exceptions = takeText(in, 6);
    }
    // Half the time the document is built from the entries' own texts.
    QByteArray doc;
    if (in.ConsumeBool()) {
        while (in.remaining_bytes() > 0 && doc.size() < 4096) {
            const EntryLine& e = entries[in.ConsumeIntegralInRange<size_t>(0, entries.size() - 1)];
            switch (in.ConsumeIntegralInRange<int>(0, 2)) {
                case 0:
                    doc += e.wrong;
                    break;
                case 1:
                    doc += e.exceptions;
                    break;
                default:
                    doc += takeText(in, 2);
            }
        }
    } else {
        const std::string rest = in.ConsumeRemainingBytesAsString();
        doc = QByteArray(rest.data(), qsizetype(rest.size()));
    }

    const std::vector<Hit> expected = reference(entries, doc);
    for (const auto filter : {Scanner::Filter::Fastest, Scanner::Filter::Portable}) {
        const Scanner scanner(entries, filter);
        const std::vector<Hit> hits = scanner.scan(doc);
        for (const Hit& hit : hits) {
            FUZZ_CHECK(hit.entry >= 0 && size_t(hit.entry) < entries.size());
            const QByteArray& wrong = entries[size_t(hit.entry)].wrong;
            FUZZ_CHECK(hit.start >= 1 && hit.start - 1 + hit.length <= doc.size());
            FUZZ_CHECK(doc.mid(hit.start - 1, hit.length) == wrong);
            FUZZ_CHECK(GbkCodec::isCharacterBoundary(doc, hit.start - 1));
            FUZZ_CHECK(GbkCodec::isCharacterBoundary(doc, hit.start - 1 + hit.length));
        }
        FUZZ_CHECK(hits == expected);
    }

    if (!GbkCodec::isWholeCharacters(doc)) return 0;
    const QString text = GbkCodec::decode(doc);
    const Scanner scanner(entries);
    for (const TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16Be}) {
        const QByteArray bytes =
            TextCodec::encode(text, encoding, GbkCodec::LineEnding::None, nullptr);
        const std::vector<Hit> hits = scanDocument(scanner, bytes, encoding);
        FUZZ_CHECK(hits.size() == expected.size());
        for (size_t i = 0; i < hits.size(); ++i) {
            FUZZ_CHECK(hits[i].entry == expected[i].entry);
            FUZZ_CHECK(bytes.mid(hits[i].start - 1, hits[i].length) ==
                       TextCodec::recodeGbk(entries[size_t(hits[i].entry)].wrong, encoding));
            FUZZ_CHECK(TextCodec::decode(bytes.left(hits[i].start - 1), encoding,
                                         GbkCodec::LineEnding::None)
                           .size() == GbkCodec::decode(doc.left(expected[i].start - 1)).size());
        }
    }
    return 0;
}
