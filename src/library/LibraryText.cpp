#include "library/LibraryText.h"

#include "documents/GbkCodec.h"
#include "library/WordDatabase.h"

namespace LibraryText {

namespace {

constexpr char kBom[] = "\xEF\xBB\xBF";

QByteArray withoutBom(const QByteArray& bytes) {
    return bytes.startsWith(kBom) ? bytes.mid(3) : bytes;
}

QByteArray escaped(const QByteArray& gbkField) {
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

std::optional<QByteArray> unescaped(const QByteArray& field) {
    QByteArray out;
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

}  // namespace

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
        out +=
            QByteArray::number(e.tid) + '\t' + escaped(e.tgrade) + '\t' + escaped(e.tclass) + '\t' +
            escaped(e.terror) + '\t' + escaped(e.tright) + '\t' + escaped(e.tbut) + '\t' +
            (e.tdate.isValid() ? WordDatabase::formatDateTime(e.tdate).toLatin1() : QByteArray()) +
            '\n';
    }
    return out;
}

std::optional<std::vector<WordEntry>> read(const QByteArray& utf8, QString* error) {
    QByteArrayList lines = withoutBom(utf8).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    auto refuse = [&](qsizetype lineIndex, const QString& why) {
        if (error) *error = QStringLiteral("第%1行：").arg(lineIndex + 1) + why;
        return std::nullopt;
    };
    if (lines.isEmpty() || (lines[0] != kEntryHeader && lines[0] != kExportHeader))
        return refuse(0, QStringLiteral("首行应为 \"%1\" 或 \"%2\"")
                             .arg(QString::fromLatin1(kEntryHeader).replace('\t', ' '),
                                  QString::fromLatin1(kExportHeader).replace('\t', ' ')));
    const bool exportForm = lines[0] == kExportHeader;
    const int columns = exportForm ? 7 : 5;

    std::vector<WordEntry> entries;
    for (qsizetype n = 1; n < lines.size(); ++n) {
        if (lines[n].isEmpty()) continue;
        const QByteArrayList fields = lines[n].split('\t');
        if (fields.size() != columns)
            return refuse(n,
                          QStringLiteral("应有%1个字段，实有%2个").arg(columns).arg(fields.size()));
        std::vector<QByteArray> texts;
        const int first = exportForm ? 1 : 0;
        for (int f = first; f < first + 5; ++f) {
            const std::optional<QByteArray> raw = unescaped(fields[f]);
            if (!raw) return refuse(n, QStringLiteral("转义符有误"));
            const QString text = QString::fromUtf8(*raw);
            if (text.toUtf8() != *raw) return refuse(n, QStringLiteral("不是UTF-8文本"));
            QString unencodable;
            texts.push_back(GbkCodec::encode(text, &unencodable));
            if (!unencodable.isEmpty())
                return refuse(n, QStringLiteral("含有不能以GBK保存的字符：") + unencodable);
        }
        WordEntry e;
        e.tgrade = texts[0];
        e.tclass = texts[1];
        e.terror = texts[2];
        e.tright = texts[3];
        e.tbut = texts[4];
        if (exportForm && !fields[6].isEmpty()) {
            e.tdate = WordDatabase::parseDateTime(fields[6]);
            if (!e.tdate.isValid()) return refuse(n, QStringLiteral("日期有误"));
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace LibraryText
