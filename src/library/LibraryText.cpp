#include "library/LibraryText.h"

#include "library/SqlConnection.h"
#include "text/GbkCodec.h"

namespace LibraryText {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

QByteArray withoutBom(const QByteArray& bytes) {
    return bytes.startsWith(kBom) ? bytes.mid(3) : bytes;
}

std::optional<QByteArray> unescaped(QByteArrayView field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        switch (field[i]) {
            case 't':
                out += '\t';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

// The next line of `text` from `at` on, without its line break; `at` moves past it.
QByteArrayView nextLine(QByteArrayView text, qsizetype& at) {
    const qsizetype end = text.indexOf('\n', at);
    QByteArrayView line = text.sliced(at, (end < 0 ? text.size() : end) - at);
    at = end < 0 ? text.size() : end + 1;
    if (line.endsWith('\r')) line.chop(1);
    return line;
}

}  // namespace

QByteArray escapeField(const QByteArray& gbkField) {
    QByteArray out;
    for (const char c : GbkCodec::decode(gbkField).toUtf8()) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool looksLikeText(const QByteArray& head) {
    const QByteArray text = withoutBom(head);
    auto startsWithLine = [&](const char* header) {
        const QByteArray h(header);
        if (!text.startsWith(h)) return false;
        return text.size() == h.size() || text[h.size()] == '\n' || text[h.size()] == '\r';
    };
    return startsWithLine(kEntryHeader) || startsWithLine(kExportHeader);
}

QByteArray write(const std::vector<WordEntry>& entries) {
    QByteArray out = QByteArray(kExportHeader) + '\n';
    for (const WordEntry& e : entries) {
        out += QByteArray::number(e.tid) + '\t' + escapeField(e.tgrade) + '\t' +
               escapeField(e.tclass) + '\t' + escapeField(e.terror) + '\t' + escapeField(e.tright) +
               '\t' + escapeField(e.tbut) + '\t' +
               (e.tdate.isValid() ? SqlConnection::formatDateTime(e.tdate) : QByteArray()) + '\n';
    }
    return out;
}

std::optional<std::vector<WordEntry>> read(const QByteArray& utf8, QString* error) {
    // Fields are looked at where they lie: a library of ten thousand lines is
    // read in milliseconds.
    const QByteArrayView text =
        QByteArrayView(utf8).sliced(utf8.startsWith(kBom) ? sizeof kBom - 1 : 0);
    auto refuse = [&](qsizetype lineIndex, const QString& why) {
        if (error) *error = QStringLiteral("第%1行：").arg(lineIndex + 1) + why;
        return std::nullopt;
    };
    qsizetype at = 0;
    const QByteArrayView header = nextLine(text, at);
    if (text.isEmpty() || (header != kEntryHeader && header != kExportHeader))
        return refuse(0, QStringLiteral("首行应为 \"%1\" 或 \"%2\"")
                             .arg(QString::fromLatin1(kEntryHeader).replace('\t', ' '),
                                  QString::fromLatin1(kExportHeader).replace('\t', ' ')));
    const bool exportForm = header == kExportHeader;
    const int columns = exportForm ? 7 : 5;

    std::vector<WordEntry> entries;
    entries.reserve(static_cast<size_t>(text.count('\n')));
    QByteArrayView previousRaw[5];
    QByteArray previousText[5];
    for (qsizetype n = 1; at < text.size(); ++n) {
        const QByteArrayView line = nextLine(text, at);
        if (line.isEmpty()) continue;
        QByteArrayView fields[7];
        int count = 0;
        for (qsizetype from = 0;; ++count) {
            const qsizetype tab = line.indexOf('\t', from);
            if (count < columns)
                fields[count] = line.sliced(from, (tab < 0 ? line.size() : tab) - from);
            if (tab < 0) break;
            from = tab + 1;
        }
        if (++count != columns)
            return refuse(n, QStringLiteral("应有%1个字段，实有%2个").arg(columns).arg(count));
        QByteArray texts[5];
        const int first = exportForm ? 1 : 0;
        for (int f = 0; f < 5; ++f) {
            QByteArrayView raw = fields[first + f];
            // A field as the line before has it (a grade, a category) shares its bytes.
            if (raw == previousRaw[f] && !entries.empty()) {
                texts[f] = previousText[f];
                continue;
            }
            previousRaw[f] = raw;
            std::optional<QByteArray> plain;
            if (raw.contains('\\')) {
                plain = unescaped(raw);
                if (!plain) return refuse(n, QStringLiteral("转义符有误"));
                raw = *plain;
            }
            const QString field = QString::fromUtf8(raw);
            if (field.toUtf8() != raw) return refuse(n, QStringLiteral("不是UTF-8文本"));
            QString unencodable;
            texts[f] = GbkCodec::encode(field, &unencodable);
            if (!unencodable.isEmpty())
                return refuse(n, QStringLiteral("含有不能以GBK保存的字符：") + unencodable);
            previousText[f] = texts[f];
        }
        // A stray byte (kept by the export as it was) would match half of a character.
        if (!GbkCodec::isWholeCharacters(texts[2]))
            return refuse(n, QStringLiteral("错误字段含有不完整的GBK字符"));
        WordEntry e;
        e.tgrade = texts[0];
        e.tclass = texts[1];
        e.terror = texts[2];
        e.tright = texts[3];
        e.tbut = texts[4];
        if (exportForm && !fields[6].isEmpty()) {
            e.tdate = SqlConnection::parseDateTime(fields[6].toByteArray());
            if (!e.tdate.isValid()) return refuse(n, QStringLiteral("日期有误"));
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace LibraryText
