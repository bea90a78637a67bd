// Measures merging a download of 10,000 records into a library of 50,000
// entries: reading the answer and storing it, one commit per record. The
// library file lives on the disk beside the program, so that commits pay for
// real syncs.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>

#include "library/WordDatabase.h"
#include "online/ServerProtocol.h"
#include "online/UpdateMerger.h"
#include "text/GbkCodec.h"

namespace {

constexpr int kEntries = 50000;
constexpr int kRecords = 10000;
// Of the records: this many extend a stored entry, this many are stored
// already, the rest are new.
constexpr int kExtending = 2000;
constexpr int kPresent = 1000;

QByteArray wrongForm(int i) { return gbk(QStringLiteral("错字%1").arg(i)); }
QByteArray rightForm(int i) { return gbk(QStringLiteral("正字%1").arg(i)); }
QByteArray exception(int i) { return gbk(QStringLiteral("例外%1").arg(i)); }

bool fillLibrary(WordDatabase& db) {
    return db.inTransaction([&] {
        for (int i = 1; i <= kEntries; ++i) {
            WordEntry e;
            e.tgrade = gbk(QStringLiteral("基本"));
            e.tclass = gbk(QStringLiteral("通用"));
            e.terror = wrongForm(i);
            e.tright = rightForm(i);
            e.tbut = exception(i);
            e.tdate = QDateTime(QDate(2020, 1, 1), QTime(0, 0));
            if (db.addEntry(e) == 0) return false;
        }
        return true;
    });
}

QByteArray answerBody() {
    QList<QByteArrayList> records;
    const QByteArray grade = gbk(QStringLiteral("高级"));
    const QByteArray category = gbk(QStringLiteral("计算机"));
    const QByteArray date = gbk(QStringLiteral("2024年5月6日"));
    for (int r = 0; r < kRecords; ++r) {
        if (r < kExtending) {
            const int i = 1 + r * 7;
            records.append(
                {grade, category, wrongForm(i), rightForm(i), "new" + exception(i), date});
        } else if (r < kExtending + kPresent) {
            const int i = 2 + r * 13 % kEntries;
            records.append({grade, category, wrongForm(i), rightForm(i), exception(i), date});
        } else {
            const int i = kEntries + r;
            records.append({grade, category, wrongForm(i), rightForm(i), exception(i), date});
        }
    }
    return ServerProtocol::formatUpdateAnswer(records);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QCoreApplication::applicationDirPath() + QStringLiteral("/bench-XXXXXX"));
    WordDatabase db;
    if (!dir.isValid() ||
        db.open(dir.filePath(QStringLiteral("jdck.mdb"))) == WordDatabase::OpenResult::Failed ||
        !fillLibrary(db)) {
        std::fprintf(stderr, "cannot build the library: %s\n", qPrintable(db.lastError()));
        return 1;
    }
    const QByteArray body = answerBody();

    QElapsedTimer timer;
    timer.start();
    const ServerProtocol::UpdateAnswer answer = ServerProtocol::classifyUpdateAnswer(body);
    const UpdateMerger::Result result = UpdateMerger::merge(db, answer.records);
    const qint64 mergeMs = timer.elapsed();

    const int expected = kRecords - kPresent;
    if (result.malformed || result.changed != expected) {
        std::fprintf(stderr, "merge changed %d entries, expected %d\n", result.changed, expected);
        return 1;
    }
    std::printf("merge %d records into %d entries (%d changed): %lld ms\n", kRecords, kEntries,
                result.changed, static_cast<long long>(mergeMs));
    return 0;
}
