#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

#include "library/IgnoredOccurrence.h"
#include "proofread/Scanner.h"
#include "text/EncodingDetection.h"

// The text around a hit that an exception phrase (or an ignored occurrence's
// context) is made of, and how far it reaches either side of the hit. It
// counts characters, never cuts one, and never crosses a line break or a ";"
// (the phrases' separator).
class PhraseSpan {
  public:
    enum class Side { Left, Right };
    static constexpr int kProposedReach = 4;

    // The span proposed for the hit at `start` (1-based byte) of `length`
    // bytes: each side reaches up to the nearest punctuation or line break, at
    // most kProposedReach characters, and at least one where the line has one
    // (a punctuation mark then). Nothing when the bytes are not in the document.
    static std::optional<PhraseSpan> around(const QByteArray& document, TextEncoding encoding,
                                            qsizetype start, qsizetype length);

    QString phrase() const;
    // The phrase with the hit marked 【…】.
    QString marked() const;
    int reach(Side side) const { return side == Side::Left ? left_ : right_; }
    // One character more or less on that side; false when there is none.
    bool grow(Side side);
    bool shrink(Side side);

  private:
    // Start of the character before `at`, or of the one at `at`, in line_.
    qsizetype before(qsizetype at) const;
    qsizetype after(qsizetype at) const;
    qsizetype begin() const;
    qsizetype end() const;

    QString line_;  // the stretch between hard stops that holds the hit
    qsizetype hitBegin_ = 0, hitEnd_ = 0;
    int left_ = 0, right_ = 0;
};

// Why `phrase` cannot be an exception phrase of the entry whose wrong form is
// `wrong` (GBK), as 保  存 would say it; empty when it can, and then its
// GBK bytes are in `gbkPhrase`.
QString phraseProblem(const QByteArray& wrong, const QString& phrase, QByteArray* gbkPhrase);

// The starts (1-based bytes) of the occurrences of `wrong` in the document
// that `phrases` (separated by ";") excuse, by the scan's own rule: those a
// scan finds without the phrases and not with them. An occurrence no longer
// in the document is not among them.
std::vector<qsizetype> excusedStarts(const QByteArray& document, TextEncoding encoding,
                                     const QByteArray& wrong, const QByteArray& phrases);

// The records of `all` that belong to the document named `fileName` (its own
// name, no directory).
std::vector<IgnoredOccurrence> ignoredIn(const std::vector<IgnoredOccurrence>& all,
                                         const QString& fileName);

// A document's hits without the occurrences the user ignored in it
// (`ignored`: that document's records); `left` counts those left out.
std::vector<Hit> withoutIgnored(std::vector<Hit> hits, const std::vector<EntryLine>& entries,
                                const std::vector<IgnoredOccurrence>& ignored,
                                const QByteArray& document, TextEncoding encoding,
                                qsizetype* left = nullptr);
