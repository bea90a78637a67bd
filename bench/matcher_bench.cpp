// The scan engine against Hyperscan, a general multi-literal matcher, on the
// text and libraries of scan_bench part 1; and the engine's portable filter
// against its fastest one. Hyperscan reports every occurrence of every form;
// the rules of a hit (GBK character boundaries, no overlap within a form,
// exception phrases) are then applied to its matches outside the clock, and
// the hits compared with the engine's. Both clocks time the scan alone, with
// the tables prepared once.
//
// matcher_bench [--size MB]

#include <hs.h>

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "BenchCorpus.h"
#include "proofread/Scanner.h"

namespace {

using namespace bench;

constexpr int kPositionBits = 40;

// The distinct forms of a library and, per form, its entries in entry order.
struct Forms {
    std::vector<QByteArray> forms;
    std::vector<std::vector<size_t>> entriesOf;

    explicit Forms(const std::vector<EntryLine>& entries) {
        std::unordered_map<std::string_view, size_t> index;
        for (size_t k = 0; k < entries.size(); ++k) {
            const QByteArray& wrong = entries[k].wrong;
            if (wrong.isEmpty()) continue;
            const auto found = index.try_emplace(
                std::string_view(wrong.constData(), static_cast<size_t>(wrong.size())),
                forms.size());
            if (found.second) {
                forms.push_back(wrong);
                entriesOf.emplace_back();
            }
            entriesOf[found.first->second].push_back(k);
        }
    }
};

class Hyperscan {
  public:
    explicit Hyperscan(const Forms& forms) {
        std::vector<const char*> text;
        std::vector<size_t> lengths;
        std::vector<unsigned> flags, ids;
        for (size_t i = 0; i < forms.forms.size(); ++i) {
            text.push_back(forms.forms[i].constData());
            lengths.push_back(static_cast<size_t>(forms.forms[i].size()));
            flags.push_back(0);
            ids.push_back(static_cast<unsigned>(i));
        }
        hs_compile_error_t* error = nullptr;
        if (hs_compile_lit_multi(text.data(), flags.data(), ids.data(), lengths.data(),
                                 static_cast<unsigned>(text.size()), HS_MODE_BLOCK, nullptr,
                                 &database, &error) != HS_SUCCESS) {
            std::fprintf(stderr, "hyperscan: %s\n", error ? error->message : "?");
            std::exit(2);
        }
        if (hs_alloc_scratch(database, &scratch) != HS_SUCCESS) std::exit(2);
    }
    ~Hyperscan() {
        hs_free_scratch(scratch);
        hs_free_database(database);
    }
    Hyperscan(const Hyperscan&) = delete;
    Hyperscan& operator=(const Hyperscan&) = delete;

    // Every occurrence as form << kPositionBits | end.
    std::vector<uint64_t> matches(const QByteArray& document) const {
        std::vector<uint64_t> found;
        if (hs_scan(database, document.constData(), static_cast<unsigned>(document.size()), 0,
                    scratch, onMatch, &found) != HS_SUCCESS)
            std::exit(2);
        return found;
    }

  private:
    static int onMatch(unsigned id, unsigned long long, unsigned long long to, unsigned,
                       void* out) {
        static_cast<std::vector<uint64_t>*>(out)->push_back(uint64_t{id} << kPositionBits | to);
        return 0;
    }
    hs_database_t* database = nullptr;
    hs_scratch_t* scratch = nullptr;
};

bool excused(const QByteArray& document, const QByteArray& exceptions, qsizetype pos, qsizetype w) {
    if (exceptions.isEmpty()) return false;
    for (const QByteArray& phrase : exceptions.split(';')) {
        if (phrase.isEmpty()) continue;
        const qsizetype d = std::abs(phrase.size() - w);
        const qsizetype from = std::max<qsizetype>(0, pos - d);
        const qsizetype to = std::min(document.size(), pos + w + d);
        if (to - from >= phrase.size() && document.mid(from, to - from).contains(phrase))
            return true;
    }
    return false;
}

// The hits that the matches make under the scan's rules.
std::vector<Hit> hitsOf(const std::vector<uint64_t>& matches, const Forms& forms,
                        const std::vector<EntryLine>& entries, const QByteArray& document,
                        const std::vector<bool>& boundary) {
    std::vector<uint64_t> starts;  // form << kPositionBits | start, of those on boundaries
    for (uint64_t m : matches) {
        const size_t form = static_cast<size_t>(m >> kPositionBits);
        const uint64_t end = m & ((1ULL << kPositionBits) - 1);
        const uint64_t start = end - static_cast<uint64_t>(forms.forms[form].size());
        if (boundary[start] && boundary[end])
            starts.push_back(uint64_t{form} << kPositionBits | start);
    }
    std::sort(starts.begin(), starts.end());
    std::vector<Hit> hits;
    size_t lastForm = SIZE_MAX;
    qsizetype lastEnd = 0;
    for (uint64_t s : starts) {
        const size_t form = static_cast<size_t>(s >> kPositionBits);
        const qsizetype pos = static_cast<qsizetype>(s & ((1ULL << kPositionBits) - 1));
        const qsizetype w = forms.forms[form].size();
        if (form == lastForm && pos < lastEnd) continue;
        lastForm = form;
        lastEnd = pos + w;
        for (size_t entry : forms.entriesOf[form])
            if (!excused(document, entries[entry].exceptions, pos, w))
                hits.push_back({static_cast<qsizetype>(entry), pos + 1, w});
    }
    std::sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
        return a.entry != b.entry ? a.entry < b.entry : a.start < b.start;
    });
    return hits;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qsizetype size = 20 * 1024 * 1024;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2)
        if (args[i] == QLatin1String("--size")) size = args[i + 1].toLongLong() << 20;

    const QByteArray document = prose(size);
    const std::vector<QByteArray> words = shuffledWords(jiebaDictionary());
    std::vector<bool> boundary(static_cast<size_t>(document.size()) + 1, false);
    for (qsizetype at = 0; at < document.size();
         at += GbkCodec::characterLength(document.constData(), document.size(), at))
        boundary[static_cast<size_t>(at)] = true;
    boundary.back() = true;

    std::printf(
        "The engine against Hyperscan %s: %.1f MB of the prose of scan_bench part 1, its "
        "libraries; scan alone, median of 5, one core\n",
        hs_version(), static_cast<double>(document.size()) / kMB);
    std::printf("%8s %11s %11s %7s %11s %9s %9s %11s %5s\n", "entries", "engine", "hyperscan",
                "ratio", "portable", "of engine", "hits", "hs matches", "same");
    const char* filterName = "";
    for (size_t n : {1000, 10000, 50000}) {
        const std::vector<EntryLine> entries = lines(library(words, n));
        const Scanner scanner(entries);
        const Scanner portable(entries, Scanner::Filter::Portable);
        filterName = scanner.filterName();
        const Forms forms(entries);
        const Hyperscan hyperscan(forms);

        std::vector<Hit> hits, portableHits;
        std::vector<uint64_t> matches;
        const double engine = timeIt(5, [&] { hits = scanner.scan(document); });
        const double plain = timeIt(5, [&] { portableHits = portable.scan(document); });
        const double hs = timeIt(5, [&] { matches = hyperscan.matches(document); });
        const bool same =
            hitsOf(matches, forms, entries, document, boundary) == hits && portableHits == hits;
        const double engineRate = mbPerSecond(document.size(), engine);
        const double hsRate = mbPerSecond(document.size(), hs);
        const double plainRate = mbPerSecond(document.size(), plain);
        std::printf("%8zu %6.0f MB/s %6.0f MB/s %6.2fx %6.0f MB/s %8.2fx %9zu %11zu %5s\n", n,
                    engineRate, hsRate, engineRate / hsRate, plainRate, plainRate / engineRate,
                    hits.size(), matches.size(), same ? "yes" : "NO");
    }
    std::printf(
        "(engine: %s; ratio: the engine's speed over Hyperscan's; portable: the engine without "
        "processor-specific code, and its share of the engine's speed; hs matches: Hyperscan's "
        "occurrences before the rules of a hit; same: Hyperscan's matches under those rules, "
        "the engine and the portable engine give the same hits)\n",
        filterName);
    return 0;
}
