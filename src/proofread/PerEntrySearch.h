#pragma once

#include <QByteArray>

#include <vector>

#include "proofread/EntryLine.h"
#include "proofread/Scanner.h"

// The scan done the plain way, one search through the document per entry.
// Too slow for a real library; kept as the yardstick the engine is checked
// and measured against.
class PerEntrySearch {
  public:
    explicit PerEntrySearch(std::vector<EntryLine> entries);

    std::vector<Hit> scan(const QByteArray& document) const;

  private:
    std::vector<EntryLine> entries_;
    std::vector<std::vector<QByteArray>> phrases_;
};

// Marks, for each byte of the document, whether a character starts there.
std::vector<bool> characterStarts(const QByteArray& document);
