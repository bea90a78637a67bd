#include "proofread/ExceptionPhrase.h"

#include <algorithm>
#include <map>
#include <utility>

#include "proofread/DocumentScan.h"
#include "proofread/Scanner.h"
#include "text/DocumentView.h"
#include "text/FileName.h"
#include "text/GbkCodec.h"

namespace {

bool isHardStop(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char(';') ||
           c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

bool isPunctuation(QChar c) { return c.isPunct() || c.isSpace() || c.isSymbol(); }

}  // namespace

std::optional<PhraseSpan> PhraseSpan::around(const QByteArray& document, TextEncoding encoding,
                                             qsizetype start, qsizetype length) {
    if (start < 1 || length < 1 || start - 1 + length > document.size()) return std::nullopt;
    const DocumentView view(document, encoding);
    const QString& text = view.text();
    const auto [first, last] = view.charRange(start - 1, length);
    if (first >= last) return std::nullopt;
    qsizetype lineBegin = first;
    while (lineBegin > 0 && !isHardStop(text[lineBegin - 1])) --lineBegin;
    qsizetype lineEnd = last;
    while (lineEnd < text.size() && !isHardStop(text[lineEnd])) ++lineEnd;

    PhraseSpan span;
    span.line_ = text.mid(lineBegin, lineEnd - lineBegin);
    span.hitBegin_ = first - lineBegin;
    span.hitEnd_ = last - lineBegin;
    for (const Side side : {Side::Left, Side::Right}) {
        while (span.reach(side) < kProposedReach) {
            const qsizetype edge = side == Side::Left ? span.begin() : span.end();
            if (side == Side::Left ? edge == 0 : edge == span.line_.size()) break;
            const QChar next =
                side == Side::Left ? span.line_[span.before(edge)] : span.line_[edge];
            const bool punctuation = isPunctuation(next);
            if (punctuation && span.reach(side) > 0) break;
            span.grow(side);
            if (punctuation) break;  // the one character the side must have
        }
    }
    return span;
}

qsizetype PhraseSpan::before(qsizetype at) const {
    return at >= 2 && line_[at - 1].isLowSurrogate() && line_[at - 2].isHighSurrogate() ? at - 2
                                                                                        : at - 1;
}

qsizetype PhraseSpan::after(qsizetype at) const {
    return at + 1 < line_.size() && line_[at].isHighSurrogate() && line_[at + 1].isLowSurrogate()
               ? at + 2
               : at + 1;
}

qsizetype PhraseSpan::begin() const {
    qsizetype at = hitBegin_;
    for (int i = 0; i < left_; ++i) at = before(at);
    return at;
}

qsizetype PhraseSpan::end() const {
    qsizetype at = hitEnd_;
    for (int i = 0; i < right_; ++i) at = after(at);
    return at;
}

QString PhraseSpan::phrase() const { return line_.mid(begin(), end() - begin()); }

QString PhraseSpan::marked() const {
    return line_.mid(begin(), hitBegin_ - begin()) + QStringLiteral("【") +
           line_.mid(hitBegin_, hitEnd_ - hitBegin_) + QStringLiteral("】") +
           line_.mid(hitEnd_, end() - hitEnd_);
}

bool PhraseSpan::grow(Side side) {
    if (side == Side::Left ? begin() == 0 : end() >= line_.size()) return false;
    ++(side == Side::Left ? left_ : right_);
    return true;
}

bool PhraseSpan::shrink(Side side) {
    int& reach = side == Side::Left ? left_ : right_;
    if (reach == 0) return false;
    --reach;
    return true;
}

QString phraseProblem(const QByteArray& wrong, const QString& phrase, QByteArray* gbkPhrase) {
    QString unencodable;
    const QByteArray bytes = GbkCodec::encode(phrase, &unencodable);
    if (!unencodable.isEmpty()) return QStringLiteral("含有不能以GBK保存的字符：") + unencodable;
    if (phrase.contains(QLatin1Char(';'))) return QStringLiteral("例外情况不能含有“;”！");
    // Compared as characters, so that a match never starts inside one.
    if (wrong.isEmpty() || !phrase.contains(fromGbk(wrong)))
        return QStringLiteral("例外情况未包含错误字段（逻辑错误）！");
    if (gbkPhrase) *gbkPhrase = bytes;
    return {};
}

std::vector<qsizetype> excusedStarts(const QByteArray& document, TextEncoding encoding,
                                     const QByteArray& wrong, const QByteArray& phrases) {
    // Occurrences resume after each other whether excused or not, so both
    // scans meet the same occurrences and differ only in the excused ones.
    const Scanner all({{wrong, QByteArray(), QByteArray()}});
    const Scanner excusing({{wrong, QByteArray(), phrases}});
    std::vector<qsizetype> kept;
    for (const Hit& hit : scanDocument(excusing, document, encoding)) kept.push_back(hit.start);
    std::vector<qsizetype> excused;
    for (const Hit& hit : scanDocument(all, document, encoding))
        if (!std::binary_search(kept.begin(), kept.end(), hit.start)) excused.push_back(hit.start);
    return excused;
}

std::vector<IgnoredOccurrence> ignoredIn(const std::vector<IgnoredOccurrence>& all,
                                         const QString& fileName) {
    const QByteArray name = pathBytes(fileName);
    std::vector<IgnoredOccurrence> mine;
    for (const IgnoredOccurrence& i : all)
        if (i.file == name) mine.push_back(i);
    return mine;
}

std::vector<Hit> withoutIgnored(std::vector<Hit> hits, const std::vector<EntryLine>& entries,
                                const std::vector<IgnoredOccurrence>& ignored,
                                const QByteArray& document, TextEncoding encoding,
                                qsizetype* left) {
    if (left) *left = 0;
    if (ignored.empty() || hits.empty()) return hits;
    // One scan per pair of forms, with all of its phrases at once.
    std::map<std::pair<QByteArray, QByteArray>, QByteArray> phrases;
    for (const IgnoredOccurrence& i : ignored) {
        QByteArray& joined = phrases[{i.wrong, i.right}];
        joined += (joined.isEmpty() ? "" : ";") + i.phrase;
    }
    for (const auto& formsAndPhrases : phrases) {
        // Named, not bound: a lambda may not capture a structured binding in clang 14.
        const std::pair<QByteArray, QByteArray>& forms = formsAndPhrases.first;
        const std::vector<qsizetype> excused =
            excusedStarts(document, encoding, forms.first, formsAndPhrases.second);
        if (excused.empty()) continue;
        const auto before = hits.size();
        std::erase_if(hits, [&](const Hit& hit) {
            const EntryLine& entry = entries[static_cast<size_t>(hit.entry)];
            return entry.wrong == forms.first && entry.right == forms.second &&
                   std::binary_search(excused.begin(), excused.end(), hit.start);
        });
        if (left) *left += static_cast<qsizetype>(before - hits.size());
    }
    return hits;
}
