#include "proofread/ProofreadPass.h"

#include <algorithm>

#include "documents/MappedDocument.h"
#include "proofread/CorrectionDiff.h"
#include "proofread/checks/LibraryCheck.h"
#include "text/TextCodec.h"

ProofreadPass::ProofreadPass(std::vector<EntryLine> entries, std::vector<IgnoredOccurrence> ignored)
    : ignored_(std::move(ignored)) {
    // The checks of every pass, in the order their hits are listed.
    checks_.push_back(std::make_unique<LibraryCheck>(std::move(entries)));
    for (const auto& check : checks_) {
        firstForm_.push_back(formCount_);
        formCount_ += static_cast<qsizetype>(check->forms().size());
    }
}

ProofreadPass::~ProofreadPass() = default;
ProofreadPass::ProofreadPass(ProofreadPass&&) noexcept = default;
ProofreadPass& ProofreadPass::operator=(ProofreadPass&&) noexcept = default;

PassDocument ProofreadPass::read(const QString& path, const Reading& how) {
    PassDocument d;
    d.path = path;
    d.format = &formatOf(path);
    QString why;
    if (how.mapped) {
        auto mapping = std::make_shared<MappedDocument>();
        if (mapping->open(path, &why)) {
            d.file = mapping->bytes();
            d.version = mapping->version();
            d.mapping = std::move(mapping);
        }
    } else {
        d.file = DocumentFile::read(path, &why, &d.version);
    }
    d.text = d.format->text(d.file.value_or(QByteArray()), how.encoding);
    if (!d.file)
        d.problem = why;
    else if (d.text.encoding == TextEncoding::Binary)
        d.problem = QStringLiteral("不是文本");
    return d;
}

ProofreadPass::Found ProofreadPass::check(const PassDocument& document, ScanObserver* observer,
                                          Detail detail) const {
    Found found;
    // Ignored occurrences are kept by the document's own name.
    const QString& path = document.path;
    const std::vector<IgnoredOccurrence> ignoredHere =
        ignoredIn(ignored_, path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    const DocumentText& text = document.text;
    for (size_t c = 0; c < checks_.size(); ++c) {
        qsizetype left = 0;
        std::vector<Hit> hits =
            withoutIgnored(checks_[c]->find(text, observer), checks_[c]->forms(), ignoredHere,
                           text.bytes, text.encoding, &left);
        found.ignored += left;
        for (Hit& hit : hits) hit.entry += firstForm_[c];
        if (found.hits.empty())
            found.hits = std::move(hits);
        else
            found.hits.insert(found.hits.end(), hits.begin(), hits.end());
    }
    if (detail != Detail::Hits)
        found.contexts = hitContextParts(text.bytes, text.encoding, found.hits);
    if (detail == Detail::Report) found.measure = measure(document, found.hits);
    return found;
}

const EntryLine& ProofreadPass::form(qsizetype entry) const {
    const auto c = static_cast<size_t>(
        std::upper_bound(firstForm_.begin(), firstForm_.end(), entry) - firstForm_.begin() - 1);
    return checks_[c]->forms()[static_cast<size_t>(entry - firstForm_[c])];
}

HitReport::Measure ProofreadPass::measure(const PassDocument& document,
                                          const std::vector<Hit>& hits) {
    return document.format->measure(document.text, hits);
}

std::optional<PhraseSpan> ProofreadPass::phraseAround(const PassDocument& document, qsizetype start,
                                                      qsizetype length, const QByteArray& wrong) {
    const DocumentText& text = document.text;
    const QByteArray inText = TextCodec::recodeGbk(wrong, text.encoding);
    if (text.bytes.mid(start - 1, inText.size()) != inText) return std::nullopt;
    return PhraseSpan::around(text.bytes, text.encoding, start, length);
}

std::vector<qsizetype> ProofreadPass::excused(const PassDocument& document, const QByteArray& wrong,
                                              const QByteArray& phrases) {
    return excusedStarts(document.text.bytes, document.text.encoding, wrong, phrases);
}

ProofreadPass::Correction ProofreadPass::correct(const PassDocument& document,
                                                 std::vector<CorrectionRow> rows) {
    // The rows hold the library's GBK forms; the text has its own encoding.
    const TextEncoding encoding = document.text.encoding;
    for (CorrectionRow& row : rows) {
        row.wrong = TextCodec::recodeGbk(row.wrong, encoding);
        row.right = TextCodec::recodeGbk(row.right, encoding);
    }
    Correction c;
    c.file = document.format->correct(document.file.value_or(QByteArray()), document.text, rows);
    c.applied = appliedRows(rows, c.file.result);
    return c;
}

DocumentText ProofreadPass::textAfter(const PassDocument& document, const Correction& correction) {
    return document.format->text(correction.file.result.text, document.text.encoding);
}

PassDocument ProofreadPass::after(const PassDocument& document, const Correction& correction) {
    PassDocument d;
    d.path = document.path;
    d.format = document.format;
    d.file = correction.file.result.text;
    d.text = textAfter(document, correction);
    return d;
}

QByteArray ProofreadPass::diff(const QString& name, const PassDocument& document,
                               const Correction& correction) {
    return unifiedDiff(name, document.text.bytes, correction.applied, document.text.encoding);
}

ProofreadPass::Written ProofreadPass::write(const PassDocument& document,
                                            const Correction& correction,
                                            CorrectionJournal::Run& run, QString* why) {
    // Recorded first, so that it can be undone; another program's change
    // since the read is left alone.
    const QByteArray& after = correction.file.result.text;
    if (!run.record(document.path, document.file.value_or(QByteArray()), after,
                    correction.file.replaced, why))
        return Written::NotRecorded;
    return DocumentFile::write(document.path, after, why, &document.version) ? Written::Yes
                                                                             : Written::NotWritten;
}
