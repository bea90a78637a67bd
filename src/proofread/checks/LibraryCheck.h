#pragma once

#include "proofread/TextCheck.h"

// The library's entries, prepared once and found by the scan engine in one
// pass over the text, whatever its encoding.
class LibraryCheck : public TextCheck {
  public:
    explicit LibraryCheck(std::vector<EntryLine> entries) : scanner_(std::move(entries)) {}

    const std::vector<EntryLine>& forms() const override { return scanner_.entries(); }
    std::vector<Hit> find(const DocumentText& text, ScanObserver* observer) const override;

  private:
    Scanner scanner_;
};
