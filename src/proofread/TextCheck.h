#pragma once

#include <vector>

#include "proofread/DocumentFormat.h"
#include "proofread/EntryLine.h"
#include "proofread/Scanner.h"

// One kind of error the pass looks for in a document's text. A check keeps
// no state between documents, so one serves every thread of a pass.
class TextCheck {
  public:
    virtual ~TextCheck() = default;
    // What its hits name: a hit's entry is an index into these, whose forms
    // are GBK as the library's are.
    virtual const std::vector<EntryLine>& forms() const = 0;
    // The hits in the text, placed in its bytes. Progress, when observed, is
    // counted in the text's bytes.
    virtual std::vector<Hit> find(const DocumentText& text, ScanObserver* observer) const = 0;
};
