#pragma once

#include <QByteArray>

#include <vector>

#include "proofread/EntryLine.h"

// One reported occurrence: the entry (index into the scanner's entries) and
// its place, 1-based, as the hit list shows it.
struct Hit {
    qsizetype entry = 0;
    qsizetype start = 0;   // 1-based byte position
    qsizetype length = 0;  // bytes of the wrong form

    bool operator==(const Hit&) const = default;
};

// Told about the scan's progress, so that a window can show it and stop it.
class ScanObserver {
  public:
    virtual ~ScanObserver() = default;
    // An occurrence on a character boundary, excused or not (1-based start).
    virtual void occurrenceFound(qsizetype /*start*/, qsizetype /*length*/) {}
    // Entry number `done` (1-based) has been searched for.
    virtual void entryDone(qsizetype /*done*/) {}
    // Checked between steps: true ends the scan with the hits found so far.
    virtual bool stopRequested() { return false; }
};

// Finds the hits of a set of entries in a document's bytes.
//
// An occurrence counts only where it starts on a GBK character boundary; the
// search resumes right after a counted occurrence (so occurrences of one entry
// never overlap) and one byte on after a candidate inside a character. An
// occurrence is excused when one of the entry's exception phrases stands in
// the window of |phrase length - wrong length| bytes around it, clipped to the
// document. Empty wrong forms and empty phrases play no part.
// Hits come in entry order, and within an entry by ascending position.
class Scanner {
  public:
    explicit Scanner(std::vector<EntryLine> entries);

    const std::vector<EntryLine>& entries() const { return entries_; }
    std::vector<Hit> scan(const QByteArray& document, ScanObserver* observer = nullptr) const;

  private:
    struct Prepared {
        std::vector<QByteArray> phrases;
    };
    std::vector<EntryLine> entries_;
    std::vector<Prepared> prepared_;
};

// Marks, for each byte of the document, whether a character starts there.
std::vector<bool> characterStarts(const QByteArray& document);
