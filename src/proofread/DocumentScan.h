#pragma once

#include <QByteArray>

#include <vector>

#include "proofread/Scanner.h"
#include "text/EncodingDetection.h"

// The hits of a document in any encoding, placed in its own bytes: exactly
// the hits of the same text in GBK, in the same order, each with the byte
// range it has in the document (a byte-order mark counted). The library is
// prepared once, in GBK, whatever the documents' encodings. Progress is
// reported in the document's bytes. A Binary document has none.
std::vector<Hit> scanDocument(const Scanner& scanner, const QByteArray& bytes,
                              TextEncoding encoding, ScanObserver* observer = nullptr);
