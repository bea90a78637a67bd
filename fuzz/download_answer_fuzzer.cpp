// The download answer: any body is classified without harm, and what the
// server writes reads back record for record, field for field.
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "FuzzText.h"
#include "online/ServerProtocol.h"

using P = ServerProtocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const P::UpdateAnswer any = P::classifyUpdateAnswer(body);
    FUZZ_CHECK(any.kind == P::UpdateKind::Records || any.records.isEmpty());
    for (const QByteArrayList& fields : any.records) {
        FUZZ_CHECK(!fields.isEmpty());
        if (const auto entry = P::entryFromRecord(fields)) {
            FUZZ_CHECK(entry->terror == fields[2] && entry->tright == fields[3]);
            FUZZ_CHECK(entry->tbut.isNull() == fields[4].isEmpty());
        }
    }

    // Records as the server holds them: fields free of ";" and "<br>".
    FuzzedDataProvider in(data, size);
    QList<QByteArrayList> records;
    const size_t count = in.ConsumeIntegralInRange<size_t>(0, 8);
    for (size_t r = 0; r < count; ++r) {
        QByteArrayList fields;
        const size_t n = in.ConsumeIntegralInRange<size_t>(1, 8);
        for (size_t f = 0; f < n; ++f) {
            QByteArray field = takeText(in, 4);
            field.replace(';', "");
            while (field.contains(P::kRecordSeparator)) field.replace(P::kRecordSeparator, "");
            fields.append(field);
        }
        records.append(fields);
    }
    // Empty records at the end read as closing "<br>"s of the list.
    while (!records.isEmpty() && records.last() == QByteArrayList{QByteArray()})
        records.removeLast();

    const QByteArray sent = P::formatUpdateAnswer(records);
    const P::UpdateAnswer read = P::classifyUpdateAnswer(sent);
    FUZZ_CHECK(read.kind == P::UpdateKind::Records);
    FUZZ_CHECK(read.records == records);
    if (!records.isEmpty())
        FUZZ_CHECK(P::classifyUpdateAnswer(sent + P::kRecordSeparator).records == records);

    // An entry goes out as a record and comes back as the same texts.
    for (const QByteArrayList& fields : records) {
        const auto entry = P::entryFromRecord(fields);
        FUZZ_CHECK(entry.has_value() == (fields.size() >= P::kRecordFields));
        if (!entry) continue;
        const QByteArrayList again = P::recordFromEntry(*entry);
        for (int f = 0; f < 5; ++f) FUZZ_CHECK(again[f] == fields[f]);
        const auto back = P::entryFromRecord(again);
        FUZZ_CHECK(back && back->terror == entry->terror && back->tbut == entry->tbut);
        // The record carries the day; a time of day is not sent.
        FUZZ_CHECK(back->tdate.date() == entry->tdate.date());
    }
    return 0;
}
