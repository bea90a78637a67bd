#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <vector>

#include "proofread/HitContext.h"
#include "proofread/Scanner.h"
#include "text/EncodingDetection.h"

// Reports of a proofreading pass, for editors (CSV, HTML) and for machines
// (JSON Lines, SARIF 2.1.0). Every report is UTF-8.
namespace HitReport {

// What the header of a report says about the character count.
inline constexpr char kCountingRule[] =
    "字数按出版规范计：汉字、字母、数字和标点符号各计一字，空格和换行不计；HTML 文档不计标记";

// One hit as reports give it.
struct Hit {
    qsizetype number = 0;  // 序号
    QString file;          // the document as the report names it
    qsizetype start = 0;   // 位置: 1-based bytes, end inclusive
    qsizetype end = 0;
    qsizetype line = 0;  // 1-based, in characters; the end is the character after the hit
    qsizetype column = 0;
    qsizetype endLine = 0;
    qsizetype endColumn = 0;
    QString wrong;
    QString right;
    HitContext context;
    bool ticked = true;
    QString encoding;
};

struct Document {
    QString file;
    qsizetype characters = 0;
    qsizetype hits = 0;
};

// Errors per 10,000 characters (差错率); 0 for a document without characters.
double errorRate(qsizetype hits, qsizetype characters);

// A document's characters counted by the publishing rule, and the line and
// column of each hit (in order of `hits`, placed in the document's bytes).
struct Measure {
    qsizetype characters = 0;
    struct Place {
        qsizetype line, column, endLine, endColumn;
    };
    std::vector<Place> places;
};
Measure measure(const QByteArray& document, TextEncoding encoding, bool isHtml,
                const std::vector<::Hit>& hits);

// With a byte-order mark and CRLF line ends, so that spreadsheet programs
// open it as Chinese: 序号, 文件名, 位置, 行, 列, 误, 正, 上下文, 修改.
QByteArray csv(const std::vector<Hit>& hits);
// One object per line.
QByteArray jsonLine(const Hit& hit);
// The closing summary object of --stats.
QByteArray jsonSummary(const std::vector<Document>& documents);
// A SARIF 2.1.0 log: a rule per wrong form, a result with a fix per hit.
QByteArray sarif(const std::vector<Hit>& hits, const QByteArray& toolVersion);
// One self-contained page: the pass's summary, then each document's counts
// and its hits in context.
QByteArray html(const std::vector<Document>& documents, const std::vector<Hit>& hits,
                const QDateTime& made);

}  // namespace HitReport
