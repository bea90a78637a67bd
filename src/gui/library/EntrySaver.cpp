#include "gui/library/EntrySaver.h"

#include "gui/library/WordGridModel.h"
#include "library/WordDatabase.h"
#include "platform/Platform.h"
#include "text/GbkCodec.h"

namespace {

void collect(QString& failures, const QString& wrong) {
    // A row without a wrong form still has to be findable in the message.
    const QString shown = wrong.isEmpty() ? QStringLiteral("（空）") : wrong;
    failures += failures.isEmpty() ? QStringLiteral("序号：") + shown : QStringLiteral(";") + shown;
}

}  // namespace

EntrySaver::EntrySaver(WordGridModel& grid, WordDatabase& database, Platform& platform)
    : grid(grid), database(database), platform(platform) {}

QString EntrySaver::trimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' ')) ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' ')) --end;
    return text.mid(begin, end - begin);
}

bool EntrySaver::exceptionsContainWrongForm(const QString& wrong, const QString& exceptions) {
    if (exceptions.isEmpty()) return true;
    // Phrases without a wrong form to excuse make no sound entry.
    if (wrong.isEmpty()) return false;
    // Compared as characters, so that a match never starts inside a character.
    return exceptions.contains(wrong, Qt::CaseSensitive);
}

EntrySaver::Result EntrySaver::save(Progress& progress) {
    Result result;
    if (grid.pendingRows().empty()) return result;

    progress.checkStarted(static_cast<int>(grid.pendingRows().size()));
    check(progress, result);
    if (!result.logicFailures.isEmpty() || !result.unencodableFailures.isEmpty()) {
        progress.finished();
        result.outcome = Outcome::Rejected;
        return result;
    }

    progress.writingStarted();
    result.outcome = Outcome::Saved;
    const std::vector<int> rows = grid.pendingRows();
    for (std::size_t k = 0; k < rows.size(); ++k) {
        progress.rowReached(rows[k]);
        if (!write(rows[k], result)) {
            // What is written stays written; the rest is still there to save.
            for (std::size_t done = 0; done < k; ++done) grid.removePendingAt(0);
            progress.finished();
            result.outcome = Outcome::Failed;
            return result;
        }
        progress.positionChanged(static_cast<int>(k) + 1);
    }
    grid.clearPending();
    progress.finished();
    return result;
}

void EntrySaver::check(Progress& progress, Result& result) {
    int position = 0;
    for (int i = 0; i < static_cast<int>(grid.pendingRows().size());) {
        const int row = grid.pendingRows()[i];
        progress.rowReached(row);
        const QString wrong = trimSpaces(grid.cell(row, WordGridModel::WrongColumn));
        QString unencodable;
        for (int column = WordGridModel::GradeColumn; column <= WordGridModel::ExceptionColumn;
             ++column)
            GbkCodec::encode(trimSpaces(grid.cell(row, column)), &unencodable);

        bool passes = true;
        if (!unencodable.isEmpty()) {
            collect(result.unencodableFailures, wrong);
            passes = false;
        } else if (!exceptionsContainWrongForm(
                       wrong, trimSpaces(grid.cell(row, WordGridModel::ExceptionColumn)))) {
            collect(result.logicFailures, wrong);
            passes = false;
        }
        if (passes)
            ++i;
        else
            grid.removePendingAt(i);
        progress.positionChanged(++position);
    }
}

bool EntrySaver::write(int row, Result& result) {
    WordEntry entry;
    entry.tgrade = gbk(trimSpaces(grid.cell(row, WordGridModel::GradeColumn)));
    entry.tclass = gbk(trimSpaces(grid.cell(row, WordGridModel::ClassColumn)));
    entry.terror = gbk(trimSpaces(grid.cell(row, WordGridModel::WrongColumn)));
    entry.tright = gbk(trimSpaces(grid.cell(row, WordGridModel::RightColumn)));
    entry.tbut = gbk(trimSpaces(grid.cell(row, WordGridModel::ExceptionColumn)));
    if (entry.terror.isEmpty()) {
        ++result.skipped;
        return true;
    }
    entry.tdate = platform.now();

    const QString serial = grid.cell(row, WordGridModel::SerialColumn);
    if (serial.isEmpty()) {
        const qint64 tid = database.addEntry(entry);
        if (tid == 0) {
            result.error = database.lastError();
            return false;
        }
        grid.setCell(row, WordGridModel::SerialColumn, QString::number(tid));
        return true;
    }
    bool numeric = false;
    entry.tid = serial.toLongLong(&numeric);
    if (!numeric) {
        result.error = QStringLiteral("序号“%1”不是词条编号").arg(serial);
        return false;
    }
    // An empty exception cell leaves the stored phrases as they are.
    const bool written = entry.tbut.isEmpty() ? database.updateEntryKeepingExceptions(entry)
                                              : database.updateEntry(entry);
    if (!written) result.error = database.lastError();
    return written;
}
