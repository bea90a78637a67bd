#pragma once

#include "proofread/DocumentFormat.h"

// A text file in its own encoding (.fbd, .txt), or a web page read whole,
// markup and all (.htm, .html): the text is the file's bytes, and a
// correction replaces bytes in place.
class PlainTextFormat : public DocumentFormat {
  public:
    // A page's markup tells its charset and is left out of the character count.
    enum class Markup { None, Html };
    explicit PlainTextFormat(Markup markup) : markup_(markup) {}

    DocumentText text(const QByteArray& file, std::optional<TextEncoding> encoding) const override;
    HitReport::Measure measure(const DocumentText& text,
                               const std::vector<Hit>& hits) const override;
    FileCorrection correct(const QByteArray& file, const DocumentText& text,
                           const std::vector<CorrectionRow>& rows) const override;

  private:
    Markup markup_;
};
