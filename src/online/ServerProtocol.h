#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QList>

#include <optional>
#include <utility>
#include <vector>

#include "library/WordEntry.h"

// The wire format shared by the program and the exchange server: the pages,
// query keys and answer tokens, the query encoding, the date text and the
// record list of the download answer. Everything is GBK bytes; nothing here
// touches the network.
class ServerProtocol {
  public:
    static constexpr char kCheckPage[] = "/index.asp";
    static constexpr char kSubmitEntryPage[] = "/tjjdch.asp";
    static constexpr char kUpdatesPage[] = "/gxjdch.asp";
    static constexpr char kUserInfoPage[] = "/tjyhxx.asp";

    static constexpr char kMarker[] = "Halvorn";
    static constexpr char kAccepted[] = "ok!";
    static constexpr char kRefused[] = "error!";
    static constexpr char kNothing[] = "none";
    static constexpr char kRecordsStart[] = "start:";
    static constexpr char kRecordSeparator[] = "<br>";
    static constexpr char kFieldSeparator = ';';
    // A record needs this many fields; further ones are ignored.
    static constexpr int kRecordFields = 6;

    // Query keys, in the order they are sent.
    static constexpr char kUserNameKey[] = "usnm";
    static constexpr char kMachineKey[] = "usid";
    static constexpr char kDateKey[] = "gxrq";
    static constexpr char kEmailKey[] = "usemail";
    static constexpr char kGradeKey[] = "jb";
    static constexpr char kClassKey[] = "lb";
    static constexpr char kWrongKey[] = "errword";
    static constexpr char kRightKey[] = "rightword";
    static constexpr char kExceptionsKey[] = "butword";

    using QueryItem = std::pair<QByteArray, QByteArray>;
    using Query = std::vector<QueryItem>;

    // Every byte but A-Z a-z 0-9 - . _ ~ becomes %XX, so that no value can
    // add keys, cut the request at "#" or break the request line.
    static QByteArray percentEncode(const QByteArray& value);
    // "%XX" becomes its byte; anything else, a malformed "%" included, stays.
    static QByteArray percentDecode(const QByteArray& text);
    // True when every "%" starts a "%XX": a stricter reader refuses the rest
    // rather than guess what the sender meant.
    static bool hasValidEscapes(const QByteArray& text);
    // page + "?" + key=value pairs joined by "&", values percent-encoded.
    static QByteArray request(const char* page, const Query& items);
    // The pairs of a query (the text after "?"), values decoded, in order.
    static Query parseQuery(const QByteArray& query);

    // "2010年10月1日". A null date is the zero date "1899年12月30日", which
    // asks the server for everything.
    static QByteArray formatDateText(const QDateTime& value);
    // "2010年10月1日", "2010-10-01" or "2010/10/01", each optionally followed
    // by " HH:MM:SS"; anything else is no date (null).
    static QDateTime parseDateText(const QByteArray& text);

    enum class UpdateKind { Refused, Nothing, Records, Malformed };
    struct UpdateAnswer {
        UpdateKind kind = UpdateKind::Malformed;
        // Each record's fields, empty ones kept, however many there are: the
        // caller decides what a short record means, record by record.
        QList<QByteArrayList> records;
    };
    static UpdateAnswer classifyUpdateAnswer(const QByteArray& body);
    // The server's side: "start:" and the records, fields joined by ";".
    static QByteArray formatUpdateAnswer(const QList<QByteArrayList>& records);

    // The entry a record stands for; nullopt for fewer than six fields. An
    // empty exceptions field gives a null tbut, a date text that is no date a
    // null tdate.
    static std::optional<WordEntry> entryFromRecord(const QByteArrayList& fields);
    // The record of an entry as the server sends it; a null tdate is sent empty.
    static QByteArrayList recordFromEntry(const WordEntry& entry);
};
