#pragma once

#include <QByteArray>
#include <QDateTime>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

class ExchangeStore;

// The four pages of the exchange, apart from HTTP: a request's path and raw
// query go in, the answer comes out. Safe to call from many threads at once.
class ExchangePages {
  public:
    // A bigger value is no entry a proofreader typed (a cell of the word
    // library takes 32,767 characters, 65,534 bytes); refusing it keeps one
    // request from filling the database.
    static constexpr qsizetype kMaxValueBytes = 64 * 1024;
    static constexpr qsizetype kMaxQueryBytes = 128 * 1024;

    struct Answer {
        int status = 200;
        QByteArray body;  // GBK
        QByteArray usid;  // as sent, for the log
        QByteArray outcome;
    };
    using Clock = std::function<QDateTime()>;

    ExchangePages(ExchangeStore& store, Clock clock);

    // `path` as decoded by the HTTP layer; `query` the text after "?", as sent.
    Answer answer(const QByteArray& path, const QByteArray& query);
    // The same answer for a request that only asks (HEAD): nothing is stored,
    // and a request that would be stored is answered as accepted.
    Answer look(const QByteArray& path, const QByteArray& query);

  private:
    using Values = std::map<QByteArray, QByteArray>;
    // All records, oldest publication first, as one answer body.
    struct Published {
        QByteArray body;                // "start:" and every record
        std::vector<QByteArray> dates;  // publication of each record, stored form
        std::vector<qsizetype> starts;  // where each record starts in body
    };

    static std::optional<Values> readQuery(const QByteArray& query, QByteArray* why);
    Answer respond(const QByteArray& path, const QByteArray& query, bool acting);
    Answer submitEntry(const Values& values, bool acting);
    Answer updates(const Values& values);
    Answer userInfo(const Values& values, bool acting);
    std::shared_ptr<const Published> published();

    ExchangeStore& store_;
    Clock clock_;
    std::mutex publishedMutex_;
    std::shared_ptr<const Published> published_;
    std::pair<qint64, qint64> publishedVersion_{-1, -1};
};
