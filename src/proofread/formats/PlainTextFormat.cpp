#include "proofread/formats/PlainTextFormat.h"

DocumentText PlainTextFormat::text(const QByteArray& file,
                                   std::optional<TextEncoding> encoding) const {
    return {file, encoding.value_or(detectEncoding(file, markup_ == Markup::Html))};
}

HitReport::Measure PlainTextFormat::measure(const DocumentText& text,
                                            const std::vector<Hit>& hits) const {
    return HitReport::measure(text.bytes, text.encoding, markup_ == Markup::Html, hits);
}

FileCorrection PlainTextFormat::correct(const QByteArray& file, const DocumentText& text,
                                        const std::vector<CorrectionRow>& rows) const {
    FileCorrection c;
    c.result = applyCorrections(file, rows, text.encoding);
    c.replaced = appliedRows(rows, c.result);
    return c;
}
