#include "online/ServerProtocol.h"

#include <QRegularExpression>

#include "text/GbkCodec.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// True when a "%XX" escape starts at `at`.
bool escapeAt(const QByteArray& text, qsizetype at) {
    return text[at] == '%' && at + 2 < text.size() && hexValue(text[at + 1]) >= 0 &&
           hexValue(text[at + 2]) >= 0;
}

bool isUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

QDateTime dateTimeOf(const QRegularExpressionMatch& m) {
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!date.isValid()) return QDateTime();
    QTime time(0, 0, 0);
    if (m.hasCaptured(4)) {
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
        if (!time.isValid()) return QDateTime();
    }
    return QDateTime(date, time);
}

}  // namespace

QByteArray ServerProtocol::percentEncode(const QByteArray& value) {
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(value.size() * 3);
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (isUnreserved(c)) {
            out.append(ch);
        } else {
            out.append('%');
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xF]);
        }
    }
    return out;
}

QByteArray ServerProtocol::percentDecode(const QByteArray& text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (escapeAt(text, i)) {
            out.append(char(hexValue(text[i + 1]) << 4 | hexValue(text[i + 2])));
            i += 2;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

bool ServerProtocol::hasValidEscapes(const QByteArray& text) {
    for (qsizetype i = text.indexOf('%'); i >= 0; i = text.indexOf('%', i + 1))
        if (!escapeAt(text, i)) return false;
    return true;
}

QByteArray ServerProtocol::request(const char* page, const Query& items) {
    QByteArray out(page);
    char separator = '?';
    for (const auto& [key, value] : items) {
        out += separator + key + '=' + percentEncode(value);
        separator = '&';
    }
    return out;
}

ServerProtocol::Query ServerProtocol::parseQuery(const QByteArray& query) {
    Query items;
    if (query.isEmpty()) return items;
    for (const QByteArray& pair : query.split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq < 0)
            items.emplace_back(percentDecode(pair), QByteArray(""));
        else
            items.emplace_back(percentDecode(pair.left(eq)), percentDecode(pair.mid(eq + 1)));
    }
    return items;
}

QByteArray ServerProtocol::formatDateText(const QDateTime& value) {
    const QDate date = value.isValid() ? value.date() : QDate(1899, 12, 30);
    return gbk(QStringLiteral("%1年%2月%3日")
                   .arg(date.year(), 4, 10, QLatin1Char('0'))
                   .arg(date.month())
                   .arg(date.day()));
}

QDateTime ServerProtocol::parseDateText(const QByteArray& text) {
    static const QRegularExpression chinese(QStringLiteral(
        "^([0-9]{4})年([0-9]{1,2})月([0-9]{1,2})日(?: ([0-9]{1,2}):([0-9]{2}):([0-9]{2}))?$"));
    static const QRegularExpression numeric(QStringLiteral(
        "^([0-9]{4})[-/]([0-9]{1,2})[-/]([0-9]{1,2})(?: ([0-9]{1,2}):([0-9]{2}):([0-9]{2}))?$"));
    const QString value = fromGbk(text.trimmed());
    QRegularExpressionMatch m = chinese.match(value);
    if (!m.hasMatch()) m = numeric.match(value);
    return m.hasMatch() ? dateTimeOf(m) : QDateTime();
}

ServerProtocol::UpdateAnswer ServerProtocol::classifyUpdateAnswer(const QByteArray& body) {
    UpdateAnswer answer;
    if (body.startsWith(kRefused)) {
        answer.kind = UpdateKind::Refused;
    } else if (body.startsWith(kNothing)) {
        answer.kind = UpdateKind::Nothing;
    } else if (body.startsWith(kRecordsStart)) {
        answer.kind = UpdateKind::Records;
        const QByteArray list = body.mid(qsizetype(sizeof kRecordsStart) - 1);
        const QByteArray separator(kRecordSeparator);
        qsizetype from = 0;
        // A closing "<br>", or nothing at all after "start:", ends the list
        // instead of adding an empty record.
        while (from < list.size()) {
            qsizetype at = list.indexOf(separator, from);
            if (at < 0) at = list.size();
            answer.records.append(list.mid(from, at - from).split(kFieldSeparator));
            from = at + separator.size();
        }
    }
    return answer;
}

QByteArray ServerProtocol::formatUpdateAnswer(const QList<QByteArrayList>& records) {
    QByteArrayList lines;
    lines.reserve(records.size());
    for (const QByteArrayList& fields : records) lines.append(fields.join(kFieldSeparator));
    return kRecordsStart + lines.join(kRecordSeparator);
}

std::optional<WordEntry> ServerProtocol::entryFromRecord(const QByteArrayList& fields) {
    if (fields.size() < kRecordFields) return std::nullopt;
    WordEntry entry;
    entry.tgrade = fields[0];
    entry.tclass = fields[1];
    entry.terror = fields[2];
    entry.tright = fields[3];
    if (!fields[4].isEmpty()) entry.tbut = fields[4];
    entry.tdate = parseDateText(fields[5]);
    return entry;
}

QByteArrayList ServerProtocol::recordFromEntry(const WordEntry& entry) {
    return {entry.tgrade, entry.tclass,
            entry.terror, entry.tright,
            entry.tbut,   entry.tdate.isValid() ? formatDateText(entry.tdate) : QByteArray("")};
}
