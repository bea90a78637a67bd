#include "proofread/HitContext.h"

#include <algorithm>
#include <numeric>

#include "text/Gb18030Codec.h"
#include "text/TextCodec.h"

namespace {

// Enough bytes for the characters either side in any encoding.
constexpr qsizetype kWindowBytes = 4 * kContextCharacters + 8;

QString shown(const QByteArray& bytes, TextEncoding encoding) {
    QString text = TextCodec::decode(bytes, encoding, TextCodec::LineEnding::None);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("⏎"));
    text.replace(QLatin1Char('\n'), QStringLiteral("⏎"));
    text.replace(QLatin1Char('\r'), QStringLiteral("⏎"));
    return text;
}

// The length of the character at `at`, as the document's view cuts it.
qsizetype characterLength(const QByteArray& d, qsizetype at, TextEncoding encoding) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(d.constData());
    switch (encoding) {
        case TextEncoding::Gb18030: {
            char32_t cp;
            return std::max(1, Gb18030Codec::sequenceAt(bytes, d.size(), at, &cp));
        }
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return 2;  // a surrogate pair's halves are told apart by the decoder
        case TextEncoding::Utf8: {
            qsizetype next = at + 1;
            while (next < d.size() && (bytes[next] & 0xC0) == 0x80 && next - at < 4) ++next;
            return next - at;
        }
        default:
            return GbkCodec::characterLength(d.constData(), d.size(), at);
    }
}

}  // namespace

QString HitContext::marked() const {
    return before + QStringLiteral("【") + hit + QStringLiteral("】") + after;
}

std::vector<QString> hitContexts(const QByteArray& document, TextEncoding encoding,
                                 const std::vector<Hit>& hits) {
    std::vector<QString> marked;
    marked.reserve(hits.size());
    for (const HitContext& context : hitContextParts(document, encoding, hits))
        marked.push_back(context.marked());
    return marked;
}

std::vector<HitContext> hitContextParts(const QByteArray& document, TextEncoding encoding,
                                        const std::vector<Hit>& hits) {
    std::vector<HitContext> contexts(hits.size());
    // Characters are found walking from the document's start (GBK and
    // GB18030 cannot be read backwards), once, through the hits by position.
    std::vector<size_t> order(hits.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return hits[a].start < hits[b].start; });
    qsizetype at = 0;
    for (const size_t i : order) {
        const qsizetype begin = hits[i].start - 1;
        const qsizetype end = begin + hits[i].length;
        while (at + characterLength(document, at, encoding) <= begin - kWindowBytes)
            at += characterLength(document, at, encoding);
        const qsizetype from = std::min(at, begin);
        const QString before = shown(document.mid(from, begin - from), encoding);
        const QString after = shown(document.mid(end, kWindowBytes), encoding);
        contexts[i] = {before.right(kContextCharacters),
                       shown(document.mid(begin, end - begin), encoding),
                       after.left(kContextCharacters)};
    }
    return contexts;
}
