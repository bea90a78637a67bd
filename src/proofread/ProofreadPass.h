#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

#include "documents/DocumentFile.h"
#include "library/IgnoredOccurrence.h"
#include "proofread/CorrectionJournal.h"
#include "proofread/DocumentFormat.h"
#include "proofread/EntryLine.h"
#include "proofread/ExceptionPhrase.h"
#include "proofread/HitContext.h"
#include "proofread/HitReport.h"
#include "proofread/Scanner.h"
#include "proofread/TextCheck.h"

class MappedDocument;

// A document as the pass read it, through the format its name tells.
struct PassDocument {
    QString path;
    const DocumentFormat* format = nullptr;
    std::optional<QByteArray> file;  // none: it could not be read
    // Why it is not checked: the reason it could not be read, or "不是文本".
    QString problem;
    DocumentVersion version;  // the file that was read, for a rewrite to compare with
    // What the checks read; empty, in the encoding an empty file would have,
    // when the file could not be read.
    DocumentText text;
    std::shared_ptr<const MappedDocument> mapping;  // keeps mapped bytes valid
};

// One proofreading pass over documents: each is read through its format, the
// checks run over its text, the occurrences the user ignored in it are left
// out, and its hits come with what the hit list and the reports show. Every
// front-end, the window and tavrel-check alike, reads, checks and corrects a
// document through here. A pass is prepared once and checks documents on any
// number of threads at once.
class ProofreadPass {
  public:
    // The library's entries, and the ignored occurrences of every document.
    ProofreadPass(std::vector<EntryLine> entries, std::vector<IgnoredOccurrence> ignored);
    ~ProofreadPass();
    ProofreadPass(ProofreadPass&&) noexcept;
    ProofreadPass& operator=(ProofreadPass&&) noexcept;

    struct Reading {
        std::optional<TextEncoding> encoding;  // none: told from each document's bytes
        // Mapped into memory instead of copied, for a pass that only reads.
        bool mapped = false;
    };
    static PassDocument read(const QString& path, const Reading& how);
    static PassDocument read(const QString& path) { return read(path, Reading{}); }

    enum class Detail { Hits, Contexts, Report };  // Report: contexts and the measure
    struct Found {
        // Placed in the text; a hit's entry is an index for form().
        std::vector<Hit> hits;
        qsizetype ignored = 0;             // occurrences left out because the user ignored them
        std::vector<HitContext> contexts;  // one per hit, from Detail::Contexts on
        HitReport::Measure measure;        // with Detail::Report
    };
    Found check(const PassDocument& document, ScanObserver* observer = nullptr,
                Detail detail = Detail::Hits) const;
    // The forms a hit names, GBK as the library holds them.
    const EntryLine& form(qsizetype entry) const;
    qsizetype formCount() const { return formCount_; }

    // A document's characters and where each hit stands, for the reports.
    static HitReport::Measure measure(const PassDocument& document, const std::vector<Hit>& hits);
    // The text around a hit for an exception phrase; none when the text no
    // longer holds the hit's wrong form (GBK) where the pass found it.
    static std::optional<PhraseSpan> phraseAround(const PassDocument& document, qsizetype start,
                                                  qsizetype length, const QByteArray& wrong);
    // The starts of the occurrences of `wrong` that `phrases` excuse in the text.
    static std::vector<qsizetype> excused(const PassDocument& document, const QByteArray& wrong,
                                          const QByteArray& phrases);

    struct Correction {
        FileCorrection file;
        std::vector<CorrectionRow> applied;  // in the text, ascending: what changes in it
    };
    // `rows` placed in the text, their forms GBK as the library holds them.
    static Correction correct(const PassDocument& document, std::vector<CorrectionRow> rows);
    // The text the document has once corrected.
    static DocumentText textAfter(const PassDocument& document, const Correction& correction);
    // The document as the correction leaves it, to be checked again.
    static PassDocument after(const PassDocument& document, const Correction& correction);
    // What the correction changes in the text, as a unified diff naming `name`.
    static QByteArray diff(const QString& name, const PassDocument& document,
                           const Correction& correction);
    enum class Written { Yes, NotRecorded, NotWritten };
    // Records the correction in the run, then writes it; a document that
    // could not be recorded, or that changed since it was read, is left as it is.
    static Written write(const PassDocument& document, const Correction& correction,
                         CorrectionJournal::Run& run, QString* why);

  private:
    std::vector<std::unique_ptr<TextCheck>> checks_;
    std::vector<qsizetype> firstForm_;  // per check, the index of its first form
    qsizetype formCount_ = 0;
    std::vector<IgnoredOccurrence> ignored_;
};
