// The exchange server's pages: any query is answered with one of the
// protocol's tokens, and an entry the program submits comes back, once a
// moderator has approved it, in the download exactly as it was sent.
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "FuzzText.h"
#include "online/ServerProtocol.h"
#include "server/ExchangePages.h"
#include "server/ExchangeStore.h"

using P = ServerProtocol;

namespace {

const QDateTime kNow(QDate(2026, 3, 4), QTime(5, 6, 7));

bool isToken(const QByteArray& body) { return body == P::kAccepted || body == P::kRefused; }

// Each phrase of the download comes as a record of its own.
void checkDownloaded(ExchangePages& pages, const WordEntry& sent) {
    const auto download = P::request(
        P::kUpdatesPage, {{P::kMachineKey, "reader"}, {P::kDateKey, P::formatDateText({})}});
    const qsizetype mark = download.indexOf('?');
    const P::UpdateAnswer read =
        P::classifyUpdateAnswer(pages.answer(download.left(mark), download.mid(mark + 1)).body);
    FUZZ_CHECK(read.kind == P::UpdateKind::Records);
    QByteArrayList phrases;
    for (const QByteArrayList& fields : read.records) {
        const auto entry = P::entryFromRecord(fields);
        FUZZ_CHECK(entry.has_value());
        FUZZ_CHECK(entry->tgrade == sent.tgrade && entry->tclass == sent.tclass);
        FUZZ_CHECK(entry->terror == sent.terror && entry->tright == sent.tright);
        FUZZ_CHECK(entry->tdate.date() == kNow.date());
        if (!entry->tbut.isEmpty()) phrases.append(entry->tbut);
    }
    FUZZ_CHECK(!read.records.isEmpty());
    FUZZ_CHECK(phrases == ExchangeStore::phrasesOf(sent.tbut));
}

// A database per run costs most of the run: on memory where the machine has it.
QString scratchPattern() {
    return QFileInfo(QStringLiteral("/dev/shm")).isWritable()
               ? QStringLiteral("/dev/shm/tavrel-fuzz-XXXXXX")
               : QDir::tempPath() + QStringLiteral("/tavrel-fuzz-XXXXXX");
}

void answerRawQuery(const QByteArray& raw) {
    // Nothing is ever approved here, so one store serves every run.
    static QTemporaryDir dir(scratchPattern());
    static ExchangeStore store;
    static const bool opened = dir.isValid() && store.open(dir.path(), {});
    FUZZ_CHECK(opened);
    ExchangePages pages(store, [] { return kNow; });
    for (const char* page : {P::kSubmitEntryPage, P::kUserInfoPage}) {
        const ExchangePages::Answer answer = pages.answer(page, raw);
        FUZZ_CHECK(answer.status == 200 && isToken(answer.body));
    }
    const ExchangePages::Answer updates = pages.answer(P::kUpdatesPage, raw);
    FUZZ_CHECK(updates.status == 200);
    FUZZ_CHECK(updates.body == P::kRefused || updates.body == P::kNothing);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    answerRawQuery(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    // An entry as the program sends it.
    QTemporaryDir dir(scratchPattern());
    ExchangeStore store;
    FUZZ_CHECK(dir.isValid() && store.open(dir.path(), {}));
    ExchangePages pages(store, [] { return kNow; });
    FuzzedDataProvider in(data, size);
    const QByteArray usid = takeText(in, 3);
    const QByteArray usnm = takeText(in, 3);
    WordEntry sent;
    sent.tgrade = takeText(in, 2);
    sent.tclass = takeText(in, 2);
    sent.terror = takeText(in, 4);
    sent.tright = takeText(in, 4);
    sent.tbut = takeText(in, 8);
    const QByteArray request = P::request(P::kSubmitEntryPage, {{P::kUserNameKey, usnm},
                                                                {P::kMachineKey, usid},
                                                                {P::kGradeKey, sent.tgrade},
                                                                {P::kClassKey, sent.tclass},
                                                                {P::kWrongKey, sent.terror},
                                                                {P::kRightKey, sent.tright},
                                                                {P::kExceptionsKey, sent.tbut}});
    const qsizetype mark = request.indexOf('?');
    const QByteArray body = pages.answer(request.left(mark), request.mid(mark + 1)).body;
    const bool acceptable = !usid.isEmpty() && !usid.contains(P::kRecordSeparator) &&
                            !usnm.contains(P::kRecordSeparator) &&
                            ExchangeStore::unpublishable(sent).isEmpty();
    FUZZ_CHECK(body == (acceptable ? P::kAccepted : P::kRefused));
    const std::vector<Submission> pending = store.pending();
    FUZZ_CHECK(pending.size() == (acceptable ? 1u : 0u));
    if (!acceptable) return 0;

    const Submission& queued = pending.front();
    FUZZ_CHECK(queued.usid == usid && queued.usnm == usnm);
    FUZZ_CHECK(queued.entry.terror == sent.terror && queued.entry.tright == sent.tright);
    FUZZ_CHECK(queued.entry.tgrade == sent.tgrade && queued.entry.tclass == sent.tclass);
    FUZZ_CHECK(queued.entry.tbut == sent.tbut);
    QString why;
    FUZZ_CHECK(store.approve({queued.id}, kNow, &why));
    checkDownloaded(pages, sent);

    // Sent again, it is published already and queues nothing.
    FUZZ_CHECK(pages.answer(request.left(mark), request.mid(mark + 1)).body == P::kAccepted);
    FUZZ_CHECK(store.pending().empty());
    return 0;
}
