#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "proofread/Scanner.h"
#include "text/EncodingDetection.h"

// The text around a hit: about kContextCharacters characters either side,
// line breaks shown as ⏎.
struct HitContext {
    QString before;
    QString hit;
    QString after;

    // As the hit list shows it: the hit marked 【…】.
    QString marked() const;
};

// The context of each hit of a document; `hits` are placed in the
// document's own bytes.
std::vector<HitContext> hitContextParts(const QByteArray& document, TextEncoding encoding,
                                        const std::vector<Hit>& hits);
std::vector<QString> hitContexts(const QByteArray& document, TextEncoding encoding,
                                 const std::vector<Hit>& hits);

inline constexpr int kContextCharacters = 8;
