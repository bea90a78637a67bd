#pragma once

#include <QByteArray>

#include <memory>
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
// The library is searched in one pass over the document, so progress is
// counted in bytes; the calls come at a coarse rhythm (every
// Scanner::kProgressStep bytes), cheap enough to leave timing to the observer.
class ScanObserver {
  public:
    virtual ~ScanObserver() = default;
    // Bytes of the document searched so far; the last call gives its size.
    virtual void bytesDone(qsizetype /*done*/) {}
    // Checked after each step: true ends the scan with the hits of the part
    // searched so far.
    virtual bool stopRequested() { return false; }
    // Once per document that has any, when it is done: the occurrence (excused
    // or not, 1-based start) that a search entry by entry would find last, so
    // that a window can leave it selected.
    virtual void occurrenceFound(qsizetype /*start*/, qsizetype /*length*/) {}
};

// Finds the hits of a set of entries in a document's bytes.
//
// An occurrence counts only where it starts and ends on GBK character
// boundaries (a form ending in a lone lead byte matches no half character); the
// search resumes right after a counted occurrence (so occurrences of one entry
// never overlap) and one byte on after a candidate inside a character. An
// occurrence is excused when one of the entry's exception phrases stands in
// the window of |phrase length - wrong length| bytes around it, clipped to the
// document. Empty wrong forms and empty phrases play no part.
// Hits come in entry order, and within an entry by ascending position.
//
// The entries are prepared once, at construction, into tables that find the
// candidates of every wrong form in one pass over a document. scan() keeps its
// state in the call, so one Scanner may serve many threads at once.
class Scanner {
  public:
    static constexpr qsizetype kProgressStep = 256 * 1024;

    // How candidates are found: with the vector instructions this processor
    // has, or in portable C++ (the compiler's generic vectors, whatever the
    // target), what every processor without AVX2 gets. Both give the same
    // hits; the choice is there so that both can be tested and measured.
    enum class Filter { Fastest, Portable };

    explicit Scanner(std::vector<EntryLine> entries, Filter filter = Filter::Fastest);
    ~Scanner();
    Scanner(Scanner&&) noexcept;
    Scanner& operator=(Scanner&&) noexcept;

    const std::vector<EntryLine>& entries() const { return entries_; }
    // The vector instructions the scan uses: "AVX2", "SSE2" or "portable" (none).
    const char* filterName() const;
    std::vector<Hit> scan(const QByteArray& document, ScanObserver* observer = nullptr) const;

  private:
    struct Engine;
    std::vector<EntryLine> entries_;
    std::unique_ptr<Engine> engine_;
};
