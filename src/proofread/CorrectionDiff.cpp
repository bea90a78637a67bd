#include "proofread/CorrectionDiff.h"

#include <QStringList>

#include <algorithm>

#include "text/TextCodec.h"

namespace {

constexpr qsizetype kContext = 3;

// Where each line of the document starts. UTF-16 breaks lines on a whole
// unit; in the other encodings no byte of a character is a line feed.
std::vector<qsizetype> lineStarts(const QByteArray& bytes, TextEncoding encoding) {
    std::vector<qsizetype> starts{0};
    const bool utf16 = encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
    const char low = encoding == TextEncoding::Utf16Be ? '\0' : '\n';
    const char high = encoding == TextEncoding::Utf16Be ? '\n' : '\0';
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (!utf16) {
            if (bytes[i] == '\n') starts.push_back(i + 1);
        } else if (i % 2 == 0 && i + 1 < bytes.size() && bytes[i] == low && bytes[i + 1] == high) {
            starts.push_back(i + 2);
        }
    }
    if (starts.back() == bytes.size()) starts.pop_back();  // no line after the last break
    return starts;
}

// The lines of a piece of text, each with its line feed if it has one.
QStringList linesOf(const QByteArray& bytes, TextEncoding encoding) {
    const QString text = TextCodec::decode(bytes, encoding, TextCodec::LineEnding::None);
    QStringList lines;
    qsizetype from = 0;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == QLatin1Char('\n')) {
            lines << text.mid(from, i + 1 - from);
            from = i + 1;
        }
    if (from < text.size()) lines << text.mid(from);
    return lines;
}

void appendLine(QByteArray& out, char mark, const QString& line) {
    out += mark;
    out += line.toUtf8();
    if (!line.endsWith(QLatin1Char('\n'))) out += "\n\\ No newline at end of file\n";
}

// Replacements that share a line, with the lines they take and give.
struct Change {
    qsizetype first = 0, last = 0;  // old lines
    QStringList newLines;
};

}  // namespace

QByteArray unifiedDiff(const QString& name, const QByteArray& before,
                       const std::vector<CorrectionRow>& replacements, TextEncoding encoding) {
    if (replacements.empty()) return {};
    const std::vector<qsizetype> starts = lineStarts(before, encoding);
    const auto lineCount = static_cast<qsizetype>(starts.size());
    auto lineOf = [&](qsizetype at) {
        return static_cast<qsizetype>(std::upper_bound(starts.begin(), starts.end(), at) -
                                      starts.begin()) -
               1;
    };
    auto lineEnd = [&](qsizetype line) {
        return line + 1 < lineCount ? starts[size_t(line + 1)] : before.size();
    };
    auto oldLine = [&](qsizetype line) {
        const qsizetype from = starts[size_t(line)];
        return linesOf(before.mid(from, lineEnd(line) - from), encoding).value(0);
    };

    std::vector<Change> changes;
    std::vector<std::vector<const CorrectionRow*>> rowsOf;
    for (const CorrectionRow& r : replacements) {
        const qsizetype first = lineOf(r.start - 1);
        const qsizetype last = lineOf(r.start - 2 + std::max<qsizetype>(1, r.wrong.size()));
        if (!changes.empty() && first <= changes.back().last) {
            changes.back().last = std::max(changes.back().last, last);
        } else {
            changes.push_back({first, last, {}});
            rowsOf.emplace_back();
        }
        rowsOf.back().push_back(&r);
    }
    for (size_t c = 0; c < changes.size(); ++c) {
        const qsizetype from = starts[size_t(changes[c].first)];
        const qsizetype to = lineEnd(changes[c].last);
        QByteArray piece;
        qsizetype at = from;
        for (const CorrectionRow* r : rowsOf[c]) {
            piece += before.mid(at, r->start - 1 - at);
            piece += r->right;
            at = r->start - 1 + r->wrong.size();
        }
        piece += before.mid(at, to - at);
        changes[c].newLines = linesOf(piece, encoding);
    }

    QByteArray out = "--- " + name.toUtf8() + "\n+++ " + name.toUtf8() + '\n';
    qsizetype delta = 0;  // lines the changes before gave minus those they took
    for (size_t c = 0; c < changes.size();) {
        size_t end = c + 1;
        while (end < changes.size() &&
               changes[end].first - changes[end - 1].last - 1 <= 2 * kContext)
            ++end;
        const qsizetype oldFirst = std::max<qsizetype>(0, changes[c].first - kContext);
        const qsizetype oldLast = std::min(lineCount - 1, changes[end - 1].last + kContext);
        qsizetype hunkDelta = 0;
        for (size_t k = c; k < end; ++k)
            hunkDelta += changes[k].newLines.size() - (changes[k].last - changes[k].first + 1);
        const qsizetype oldCount = oldLast - oldFirst + 1;
        const qsizetype newCount = oldCount + hunkDelta;
        out += "@@ -" + QByteArray::number(oldFirst + 1) + ',' + QByteArray::number(oldCount) +
               " +" + QByteArray::number(oldFirst + 1 + delta) + ',' +
               QByteArray::number(newCount) + " @@\n";
        size_t k = c;
        for (qsizetype line = oldFirst; line <= oldLast;) {
            if (k < end && line == changes[k].first) {
                for (qsizetype l = changes[k].first; l <= changes[k].last; ++l)
                    appendLine(out, '-', oldLine(l));
                for (const QString& added : changes[k].newLines) appendLine(out, '+', added);
                line = changes[k].last + 1;
                ++k;
            } else {
                appendLine(out, ' ', oldLine(line++));
            }
        }
        delta += hunkDelta;
        c = end;
    }
    return out;
}
