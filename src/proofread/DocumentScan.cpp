#include "proofread/DocumentScan.h"

#include "text/GbkTranscript.h"

namespace {

// Passes a transcript's progress on in the document's bytes.
class SourceObserver : public ScanObserver {
  public:
    SourceObserver(ScanObserver& to, const GbkTranscript& transcript)
        : to(to), transcript(transcript) {}
    void bytesDone(qsizetype done) override { to.bytesDone(transcript.sourceOffset(done)); }
    bool stopRequested() override { return to.stopRequested(); }
    void occurrenceFound(qsizetype start, qsizetype length) override {
        const qsizetype begin = transcript.sourceOffset(start - 1);
        to.occurrenceFound(begin + 1, transcript.sourceOffset(start - 1 + length) - begin);
    }

  private:
    ScanObserver& to;
    const GbkTranscript& transcript;
};

}  // namespace

std::vector<Hit> scanDocument(const Scanner& scanner, const QByteArray& bytes,
                              TextEncoding encoding, ScanObserver* observer) {
    if (encoding == TextEncoding::Gbk) return scanner.scan(bytes, observer);
    if (encoding == TextEncoding::Binary) {
        if (observer) observer->bytesDone(bytes.size());
        return {};
    }
    const GbkTranscript transcript(bytes, encoding);
    std::vector<Hit> hits;
    if (observer) {
        SourceObserver inSource(*observer, transcript);
        hits = scanner.scan(transcript.gbk(), &inSource);
    } else {
        hits = scanner.scan(transcript.gbk());
    }
    for (Hit& hit : hits) {
        const qsizetype begin = transcript.sourceOffset(hit.start - 1);
        hit.length = transcript.sourceOffset(hit.start - 1 + hit.length) - begin;
        hit.start = begin + 1;
    }
    return hits;
}
