#include "server/ExchangePages.h"

#include <algorithm>
#include <utility>

#include "library/SqlConnection.h"
#include "online/ServerProtocol.h"
#include "server/ExchangeStore.h"
#include "text/GbkCodec.h"

using P = ServerProtocol;

namespace {

ExchangePages::Answer refused(QByteArray usid, const QByteArray& why) {
    return {200, P::kRefused, std::move(usid), QByteArray(P::kRefused) + ' ' + why};
}

QByteArray valueOf(const std::map<QByteArray, QByteArray>& values, const char* key) {
    const auto it = values.find(key);
    return it == values.end() ? QByteArray("") : it->second;
}

const QByteArray& indexPage() {
    static const QByteArray page = gbk(QStringLiteral(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=GBK\">"
        "<title>Halvorn 词汇交换</title></head><body><p>Halvorn 词汇交换服务器</p></body></html>"));
    return page;
}

}  // namespace

ExchangePages::ExchangePages(ExchangeStore& store, Clock clock)
    : store_(store), clock_(std::move(clock)) {}

std::optional<ExchangePages::Values> ExchangePages::readQuery(const QByteArray& query,
                                                              QByteArray* why) {
    if (!P::hasValidEscapes(query)) return *why = "bad escape", std::nullopt;
    if (P::percentDecode(query).size() > kMaxQueryBytes)
        return *why = "query too long", std::nullopt;
    Values values;
    for (auto& [key, value] : P::parseQuery(query)) {
        if (key.size() > kMaxValueBytes || value.size() > kMaxValueBytes)
            return *why = "value too long", std::nullopt;
        if (key.isEmpty()) continue;  // "&&" or a closing "&"
        // Which of two values was meant cannot be told; storing either could be wrong.
        if (!values.emplace(std::move(key), std::move(value)).second)
            return *why = "key repeated", std::nullopt;
    }
    return values;
}

ExchangePages::Answer ExchangePages::answer(const QByteArray& path, const QByteArray& query) {
    return respond(path, query, true);
}

ExchangePages::Answer ExchangePages::look(const QByteArray& path, const QByteArray& query) {
    return respond(path, query, false);
}

ExchangePages::Answer ExchangePages::respond(const QByteArray& path, const QByteArray& query,
                                             bool acting) {
    const bool submit = path == P::kSubmitEntryPage;
    const bool download = path == P::kUpdatesPage;
    const bool user = path == P::kUserInfoPage;
    if (path == P::kCheckPage) return {200, indexPage(), {}, "page"};
    if (!submit && !download && !user) return {404, "Not Found", {}, "404"};

    QByteArray why;
    const std::optional<Values> values = readQuery(query, &why);
    if (!values) return refused({}, why);
    if (valueOf(*values, P::kMachineKey).isEmpty())
        return refused({}, QByteArray("no ") + P::kMachineKey);
    if (submit) return submitEntry(*values, acting);
    if (download) return updates(*values);
    return userInfo(*values, acting);
}

ExchangePages::Answer ExchangePages::submitEntry(const Values& values, bool acting) {
    Submission sub;
    sub.usid = valueOf(values, P::kMachineKey);
    if (const auto name = values.find(P::kUserNameKey); name != values.end())
        sub.usnm = name->second;
    sub.entry.tgrade = valueOf(values, P::kGradeKey);
    sub.entry.tclass = valueOf(values, P::kClassKey);
    sub.entry.terror = valueOf(values, P::kWrongKey);
    sub.entry.tright = valueOf(values, P::kRightKey);
    sub.entry.tbut = valueOf(values, P::kExceptionsKey);
    sub.received = clock_();
    if (sub.entry.terror.isEmpty() || sub.entry.tright.isEmpty())
        return refused(sub.usid, "no forms");
    if (sub.usnm.contains(P::kRecordSeparator) || sub.usid.contains(P::kRecordSeparator))
        return refused(sub.usid, "unpublishable");
    if (!ExchangeStore::unpublishable(sub.entry).isEmpty())
        return refused(sub.usid, "unpublishable");
    if (!acting) return {200, P::kAccepted, sub.usid, "ok! nothing stored"};
    switch (store_.submit(sub)) {
        case ExchangeStore::SubmitResult::Queued:
            return {200, P::kAccepted, sub.usid, "ok! queued"};
        case ExchangeStore::SubmitResult::AlreadyPublished:
            return {200, P::kAccepted, sub.usid, "ok! published already"};
        case ExchangeStore::SubmitResult::Failed:
            break;
    }
    return refused(sub.usid, store_.lastError().toUtf8());
}

ExchangePages::Answer ExchangePages::updates(const Values& values) {
    const QByteArray usid = valueOf(values, P::kMachineKey);
    const QDateTime since = P::parseDateText(valueOf(values, P::kDateKey));
    if (!since.isValid()) return refused(usid, "bad date");
    const std::shared_ptr<const Published> all = published();
    if (!all) return refused(usid, store_.lastError().toUtf8());
    // The date names a day; everything published on it goes out again rather
    // than risk that a program never sees an entry of that day.
    const QByteArray from = SqlConnection::formatDateTime(QDateTime(since.date(), QTime(0, 0)));
    const auto first = std::upper_bound(all->dates.begin(), all->dates.end(), from);
    const auto count = QByteArray::number(qint64(all->dates.end() - first));
    if (first == all->dates.end()) return {200, P::kNothing, usid, P::kNothing};
    if (first == all->dates.begin())
        return {200, all->body, usid, P::kRecordsStart + (' ' + count)};
    const qsizetype start = all->starts[std::size_t(first - all->dates.begin())];
    return {200, P::kRecordsStart + all->body.mid(start), usid, P::kRecordsStart + (' ' + count)};
}

ExchangePages::Answer ExchangePages::userInfo(const Values& values, bool acting) {
    const QByteArray usid = valueOf(values, P::kMachineKey);
    if (!acting) return {200, P::kAccepted, usid, "ok! nothing stored"};
    if (!store_.saveUser(usid, valueOf(values, P::kUserNameKey), valueOf(values, P::kEmailKey),
                         clock_()))
        return refused(usid, store_.lastError().toUtf8());
    return {200, P::kAccepted, usid, "ok! user"};
}

std::shared_ptr<const ExchangePages::Published> ExchangePages::published() {
    const std::pair<qint64, qint64> version = store_.publishedVersion();
    std::lock_guard lock(publishedMutex_);
    if (published_ && version == publishedVersion_) return published_;

    const std::optional<std::vector<WordEntry>> entries = store_.published();
    if (!entries) return nullptr;
    auto all = std::make_shared<Published>();
    all->body = P::kRecordsStart;
    const QByteArray separator(P::kRecordSeparator);
    auto add = [&](const WordEntry& entry) {
        if (!all->starts.empty()) all->body += separator;
        all->starts.push_back(all->body.size());
        all->dates.push_back(SqlConnection::formatDateTime(entry.tdate));
        all->body += P::recordFromEntry(entry).join(P::kFieldSeparator);
    };
    for (WordEntry entry : *entries) {
        // The program reads one phrase a record; each further record of the
        // same pair appends its phrase to the entry it stored from the first.
        const QByteArrayList phrases = ExchangeStore::phrasesOf(entry.tbut);
        if (phrases.isEmpty()) {
            entry.tbut.clear();
            add(entry);
        }
        for (const QByteArray& phrase : phrases) {
            entry.tbut = phrase;
            add(entry);
        }
    }
    published_ = std::move(all);
    publishedVersion_ = version;
    return published_;
}
