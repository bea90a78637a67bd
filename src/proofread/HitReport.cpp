#include "proofread/HitReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <map>
#include <numeric>

#include "proofread/HitPosition.h"
#include "text/DocumentView.h"

namespace HitReport {

namespace {

QByteArray json(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString csvField(QString text) {
    // A spreadsheet takes a cell that starts so for a formula, and runs it.
    static const QString formula = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && formula.contains(text.front())) text.prepend(QLatin1Char('\''));
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); }))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

QString escaped(const QString& text) { return text.toHtmlEscaped(); }

QString rate(qsizetype hits, qsizetype characters) {
    return QString::number(errorRate(hits, characters), 'f', 2);
}

// A path as a URI reference: its bytes percent-encoded, "/" kept.
QString uri(const QString& file) { return QString::fromLatin1(QUrl::toPercentEncoding(file, "/")); }

}  // namespace

double errorRate(qsizetype hits, qsizetype characters) {
    return characters > 0 ? 10000.0 * double(hits) / double(characters) : 0.0;
}

Measure measure(const QByteArray& document, TextEncoding encoding, bool isHtml,
                const std::vector<::Hit>& hits) {
    const DocumentView view(document, encoding);
    const QString& text = view.text();
    Measure m;
    bool inTag = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (isHtml && (inTag || c == QLatin1Char('<'))) {
            inTag = c != QLatin1Char('>');
            continue;
        }
        if (c.isLowSurrogate() || c.isSpace() || c.category() == QChar::Other_Control ||
            c.category() == QChar::Other_Format)
            continue;
        ++m.characters;
    }

    // Lines and columns in one walk through the text, the hits by position.
    std::vector<std::pair<qsizetype, size_t>> marks;  // character index, 2 * hit (+1: its end)
    for (size_t h = 0; h < hits.size(); ++h) {
        const qsizetype begin = hits[h].start - 1;
        const auto [first, last] = view.charRange(begin, hits[h].length);
        marks.emplace_back(first, 2 * h);
        marks.emplace_back(last, 2 * h + 1);
    }
    std::sort(marks.begin(), marks.end());
    m.places.resize(hits.size());
    qsizetype line = 1, lineStart = 0, at = 0;
    for (const auto& [index, mark] : marks) {
        for (; at < index && at < text.size(); ++at) {
            if (text[at] == QLatin1Char('\n')) {
                ++line;
                lineStart = at + 1;
            }
        }
        // Columns count characters: a surrogate pair is one.
        qsizetype column = 1;
        for (qsizetype i = lineStart; i < index && i < text.size(); ++i)
            if (!text[i].isLowSurrogate()) ++column;
        Measure::Place& place = m.places[mark / 2];
        (mark % 2 == 0 ? place.line : place.endLine) = line;
        (mark % 2 == 0 ? place.column : place.endColumn) = column;
    }
    return m;
}

QByteArray csv(const std::vector<Hit>& hits) {
    QString out = QStringLiteral("序号,文件名,位置,行,列,误,正,上下文,修改\r\n");
    for (const Hit& h : hits) {
        const QStringList fields = {QString::number(h.number),
                                    h.file,
                                    HitPosition{h.start, h.end}.text(),
                                    QString::number(h.line),
                                    QString::number(h.column),
                                    h.wrong,
                                    h.right,
                                    h.context.marked(),
                                    h.ticked ? QStringLiteral("是") : QStringLiteral("否")};
        QStringList cells;
        for (const QString& f : fields) cells << csvField(f);
        out += cells.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + out.toUtf8();
}

QByteArray jsonLine(const Hit& h) {
    return json({{QStringLiteral("file"), h.file},
                 {QStringLiteral("start"), qint64(h.start)},
                 {QStringLiteral("end"), qint64(h.end)},
                 {QStringLiteral("line"), qint64(h.line)},
                 {QStringLiteral("column"), qint64(h.column)},
                 {QStringLiteral("wrong"), h.wrong},
                 {QStringLiteral("right"), h.right},
                 {QStringLiteral("context"), h.context.marked()},
                 {QStringLiteral("encoding"), h.encoding}}) +
           '\n';
}

QByteArray jsonSummary(const std::vector<Document>& documents) {
    QJsonArray perDocument;
    qsizetype characters = 0, hits = 0;
    for (const Document& d : documents) {
        perDocument.append(QJsonObject{{QStringLiteral("file"), d.file},
                                       {QStringLiteral("characters"), qint64(d.characters)},
                                       {QStringLiteral("hits"), qint64(d.hits)},
                                       {QStringLiteral("rate"), errorRate(d.hits, d.characters)}});
        characters += d.characters;
        hits += d.hits;
    }
    return json({{QStringLiteral("summary"),
                  QJsonObject{{QStringLiteral("documents"), perDocument},
                              {QStringLiteral("characters"), qint64(characters)},
                              {QStringLiteral("hits"), qint64(hits)},
                              {QStringLiteral("rate"), errorRate(hits, characters)}}}}) +
           '\n';
}

QByteArray sarif(const std::vector<Hit>& hits, const QByteArray& toolVersion) {
    // A rule per wrong form, in the order the forms first occur.
    std::map<QString, int> ruleIndex;
    QJsonArray rules;
    QJsonArray results;
    for (const Hit& h : hits) {
        auto [it, added] = ruleIndex.emplace(h.wrong, int(rules.size()));
        if (added)
            rules.append(QJsonObject{
                {QStringLiteral("id"), h.wrong},
                {QStringLiteral("shortDescription"),
                 QJsonObject{{QStringLiteral("text"), QStringLiteral("“%1”有误").arg(h.wrong)}}}});
        const QJsonObject region{{QStringLiteral("startLine"), qint64(h.line)},
                                 {QStringLiteral("startColumn"), qint64(h.column)},
                                 {QStringLiteral("endLine"), qint64(h.endLine)},
                                 {QStringLiteral("endColumn"), qint64(h.endColumn)}};
        const QJsonObject artifact{{QStringLiteral("uri"), uri(h.file)}};
        QJsonObject shownRegion = region;
        shownRegion.insert(QStringLiteral("snippet"),
                           QJsonObject{{QStringLiteral("text"), h.context.hit}});
        const QJsonObject location{{QStringLiteral("physicalLocation"),
                                    QJsonObject{{QStringLiteral("artifactLocation"), artifact},
                                                {QStringLiteral("region"), shownRegion}}}};
        const QJsonObject replacement{
            {QStringLiteral("deletedRegion"), region},
            {QStringLiteral("insertedContent"), QJsonObject{{QStringLiteral("text"), h.right}}}};
        const QJsonObject change{{QStringLiteral("artifactLocation"), artifact},
                                 {QStringLiteral("replacements"), QJsonArray{replacement}}};
        const QJsonObject fix{
            {QStringLiteral("description"),
             QJsonObject{{QStringLiteral("text"), QStringLiteral("改为“%1”").arg(h.right)}}},
            {QStringLiteral("artifactChanges"), QJsonArray{change}}};
        results.append(
            QJsonObject{{QStringLiteral("ruleId"), h.wrong},
                        {QStringLiteral("ruleIndex"), it->second},
                        {QStringLiteral("level"), QStringLiteral("warning")},
                        {QStringLiteral("message"),
                         QJsonObject{{QStringLiteral("text"),
                                      QStringLiteral("“%1”应为“%2”").arg(h.wrong, h.right)}}},
                        {QStringLiteral("locations"), QJsonArray{location}},
                        {QStringLiteral("fixes"), QJsonArray{fix}},
                        {QStringLiteral("properties"),
                         QJsonObject{{QStringLiteral("context"), h.context.marked()}}}});
    }
    const QJsonObject driver{{QStringLiteral("name"), QStringLiteral("tavrel-check")},
                             {QStringLiteral("version"), QString::fromLatin1(toolVersion)},
                             {QStringLiteral("rules"), rules}};
    const QJsonObject run{{QStringLiteral("tool"), QJsonObject{{QStringLiteral("driver"), driver}}},
                          // Columns count characters, not UTF-16 units.
                          {QStringLiteral("columnKind"), QStringLiteral("unicodeCodePoints")},
                          {QStringLiteral("results"), results}};
    const QJsonObject log{{QStringLiteral("$schema"),
                           QStringLiteral("https://json.schemastore.org/sarif-2.1.0.json")},
                          {QStringLiteral("version"), QStringLiteral("2.1.0")},
                          {QStringLiteral("runs"), QJsonArray{run}}};
    return QJsonDocument(log).toJson(QJsonDocument::Indented);
}

QByteArray html(const std::vector<Document>& documents, const std::vector<Hit>& hits,
                const QDateTime& made) {
    const qsizetype characters =
        std::accumulate(documents.begin(), documents.end(), qsizetype(0),
                        [](qsizetype sum, const Document& d) { return sum + d.characters; });
    const qsizetype total = qsizetype(hits.size());
    QString page = QStringLiteral(
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>校对报告</title>\n<style>\n"
        "body{font-family:\"Noto Serif CJK SC\",\"Source Han Serif SC\",SimSun,serif;"
        "margin:2em auto;max-width:48em;color:#111;line-height:1.6}\n"
        "h1{font-size:1.6em;margin-bottom:.2em}h2{font-size:1.2em;border-bottom:1px solid #888;"
        "margin-top:1.6em}\n"
        "table{border-collapse:collapse;width:100%}th,td{border:1px solid #bbb;padding:.2em .5em;"
        "text-align:left;vertical-align:top}th{background:#eee}\n"
        "td.n{text-align:right;white-space:nowrap}mark{background:#ffd24d;color:#000;"
        "font-weight:bold}\n.rule{color:#555;font-size:.9em}\n"
        "@media print{body{margin:0;max-width:none}h2{break-after:avoid}tr{break-inside:avoid}"
        "mark{background:none;text-decoration:underline}}\n"
        "</style>\n</head>\n<body>\n<h1>校对报告</h1>\n");
    page += QStringLiteral("<p class=\"rule\">%1。生成于 %2。</p>\n")
                .arg(escaped(QString::fromUtf8(kCountingRule)),
                     made.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    page += QStringLiteral(
                "<table class=\"summary\"><tr><th>文档</th><th>字数</th><th>错误</th>"
                "<th>差错率（每万字）</th></tr>\n<tr><td class=\"n\">%1</td><td class=\"n\">%2</td>"
                "<td class=\"n\">%3</td><td class=\"n\">%4</td></tr></table>\n")
                .arg(documents.size())
                .arg(characters)
                .arg(total)
                .arg(rate(total, characters));
    for (const Document& d : documents) {
        page += QStringLiteral("<h2>%1</h2>\n<p>错误 %2 处，字数 %3，差错率 %4（每万字）</p>\n")
                    .arg(escaped(d.file))
                    .arg(d.hits)
                    .arg(d.characters)
                    .arg(rate(d.hits, d.characters));
        if (d.hits == 0) continue;
        page += QStringLiteral(
            "<table><tr><th>序号</th><th>行:列</th><th>上下文</th><th>误</th><th>正</th></tr>\n");
        for (const Hit& h : hits) {
            if (h.file != d.file) continue;
            page += QStringLiteral(
                        "<tr><td class=\"n\">%1</td><td class=\"n\">%2:%3</td><td>%4<mark>%5</mark>"
                        "%6</td><td>%7</td><td>%8</td></tr>\n")
                        .arg(h.number)
                        .arg(h.line)
                        .arg(h.column)
                        .arg(escaped(h.context.before), escaped(h.context.hit),
                             escaped(h.context.after), escaped(h.wrong), escaped(h.right));
        }
        page += QStringLiteral("</table>\n");
    }
    page += QStringLiteral("</body>\n</html>\n");
    return page.toUtf8();
}

}  // namespace HitReport
