#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "proofread/Corrector.h"
#include "text/EncodingDetection.h"

// What a correction changes in a document, as a unified diff in UTF-8: the
// `---`/`+++` header with `name`, then hunks with three lines of context.
// `replacements` are those the correction applies, ascending, at positions
// of `before` in its own `encoding`. Empty when there are none.
QByteArray unifiedDiff(const QString& name, const QByteArray& before,
                       const std::vector<CorrectionRow>& replacements, TextEncoding encoding);
