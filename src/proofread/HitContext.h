#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "proofread/Scanner.h"
#include "text/EncodingDetection.h"

// The text around each hit of a document, as the hit list shows it: about
// kContextCharacters characters either side, the hit marked 【…】, line
// breaks shown as ⏎. `hits` are placed in the document's own bytes.
std::vector<QString> hitContexts(const QByteArray& document, TextEncoding encoding,
                                 const std::vector<Hit>& hits);

inline constexpr int kContextCharacters = 8;
