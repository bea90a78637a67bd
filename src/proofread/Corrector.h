#pragma once

#include <QByteArray>

#include <vector>

#include "text/EncodingDetection.h"

// One hit to correct, as the scan reported it.
struct CorrectionRow {
    qsizetype start = 0;  // 1-based byte position in the scanned text
    QByteArray wrong;     // in the text's encoding
    QByteArray right;
};

struct CorrectionResult {
    QByteArray text;
    std::vector<size_t> applied;  // indexes into the rows, in the order given
    std::vector<size_t> skipped;
};

// Replaces exactly the occurrences the rows name and nothing else. A row is
// applied when the bytes at its position still equal its wrong form and start
// and end on character boundaries, and its range does not overlap a row applied
// before it (in the order given); otherwise it is skipped. Positions are
// those of `text`: one replacement never moves another. Characters are those
// of `encoding`.
// The rows a correction applied, ascending by position: what it replaced.
std::vector<CorrectionRow> appliedRows(const std::vector<CorrectionRow>& rows,
                                       const CorrectionResult& result);

CorrectionResult applyCorrections(const QByteArray& text, const std::vector<CorrectionRow>& rows,
                                  TextEncoding encoding = TextEncoding::Gbk);
