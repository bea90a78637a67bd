#pragma once

#include <QByteArray>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

#include "proofread/Corrector.h"
#include "proofread/HitReport.h"
#include "proofread/Scanner.h"
#include "text/EncodingDetection.h"

// The text of a document that the checks read; hits are placed in its bytes.
struct DocumentText {
    QByteArray bytes;
    TextEncoding encoding = TextEncoding::Gbk;  // Binary: not text, nothing in it is checked
};

// What a correction does to a document's file.
struct FileCorrection {
    CorrectionResult
        result;  // result.text: the file's new bytes; applied and skipped index the rows
    std::vector<CorrectionRow> replaced;  // in the file's bytes, ascending: what the journal keeps
};

// One kind of document file: how its bytes become the text the checks read,
// how that text is measured for the reports, and how corrections of the text
// go back into the file. A format keeps no state, so one serves every
// document on every thread.
class DocumentFormat {
  public:
    virtual ~DocumentFormat() = default;
    // The text of a file's bytes: in `encoding` when one is given, else in
    // the one the bytes tell.
    virtual DocumentText text(const QByteArray& file,
                              std::optional<TextEncoding> encoding) const = 0;
    // The characters a publisher counts in the text, and where each hit stands.
    virtual HitReport::Measure measure(const DocumentText& text,
                                       const std::vector<Hit>& hits) const = 0;
    // The file with `rows` corrected; the rows are placed in the text and
    // their forms are in the text's encoding.
    virtual FileCorrection correct(const QByteArray& file, const DocumentText& text,
                                   const std::vector<CorrectionRow>& rows) const = 0;
};

// The format of the file so named, told by its suffix; a name no format
// claims is read as plain text, so that a file named on the command line is
// always checked.
const DocumentFormat& formatOf(QStringView fileName);
// The suffixes of the documents a directory offers, in the order the file
// list shows them.
const QStringList& documentSuffixes();
