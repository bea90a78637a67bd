#include "proofread/Scanner.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

using Byte = unsigned char;

constexpr qsizetype kBlock = 64;
// A block is read with this many bytes beyond it: the trail test of its last
// byte and the 8-byte loads that compare a candidate's head.
constexpr qsizetype kReadAhead = 8;
constexpr uint64_t kEvenBits = 0x5555555555555555ULL;
constexpr uint64_t kHashFactor = 0x9E3779B97F4A7C15ULL;
// A hit is kept as entry << kPositionBits | position, which sorts as the rows do.
constexpr int kPositionBits = 40;

uint32_t load32(const Byte* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

uint64_t load64(const Byte* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

uint32_t key2(const Byte* p) { return p[0] | static_cast<uint32_t>(p[1]) << 8; }

bool isTrail(Byte b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

// Bit i of `lead` / `trail`: byte i of the block can lead / end a two-byte character.
void classify(const Byte* p, uint64_t& lead, uint64_t& trail) {
#if defined(__SSE2__)
    // Signed bytes: 0x81..0xFE are -127..-2, 0x80..0xFE are below -1.
    const __m128i minus128 = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i minus1 = _mm_set1_epi8(-1);
    const __m128i below40 = _mm_set1_epi8(0x3F);
    const __m128i del = _mm_set1_epi8(0x7F);
    lead = trail = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const __m128i high = _mm_cmplt_epi8(v, minus1);
        const __m128i leads = _mm_and_si128(high, _mm_cmpgt_epi8(v, minus128));
        const __m128i ascii = _mm_and_si128(_mm_cmpgt_epi8(v, below40), _mm_cmplt_epi8(v, del));
        const __m128i trails = _mm_or_si128(high, ascii);
        lead |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(leads))) << (16 * i);
        trail |= static_cast<uint64_t>(static_cast<uint16_t>(_mm_movemask_epi8(trails)))
                 << (16 * i);
    }
#else
    lead = trail = 0;
    for (int i = 0; i < kBlock; ++i) {
        lead |= static_cast<uint64_t>(p[i] >= 0x81 && p[i] <= 0xFE) << i;
        trail |= static_cast<uint64_t>(isTrail(p[i])) << i;
    }
#endif
}

// Character starts of a block. `pairs` marks the bytes that would lead a pair
// if a character started there; in a run of such bytes the pairs start at its
// first byte and every second byte after it. `carry` (bit 0) says that the
// block's first byte ends a pair of the block before, and is updated.
uint64_t characterStartsOf(uint64_t pairs, uint64_t& carry) {
    pairs &= ~carry;
    const uint64_t runStarts = pairs & ~(pairs << 1);
    // Adding a run's first bit clears the run: that marks the runs starting on even bits.
    const uint64_t evenRuns = ((pairs + (runStarts & kEvenBits)) ^ pairs) & pairs;
    const uint64_t pairStarts = pairs & ((evenRuns & kEvenBits) | (~evenRuns & ~kEvenBits));
    const uint64_t starts = ~((pairStarts << 1) | carry);
    carry = pairStarts >> 63;
    return starts;
}

// Whether two occurrences of the form can overlap: it has a border.
bool canOverlap(const QByteArray& s) {
    std::vector<qsizetype> border(static_cast<size_t>(s.size()), 0);
    for (qsizetype i = 1, k = 0; i < s.size(); ++i) {
        while (k > 0 && s[i] != s[k]) k = border[static_cast<size_t>(k - 1)];
        if (s[i] == s[k]) ++k;
        border[static_cast<size_t>(i)] = k;
    }
    return !s.isEmpty() && border.back() > 0;
}

int ceilLog2(size_t n) { return n <= 1 ? 0 : std::bit_width(n - 1); }

}  // namespace

struct Scanner::Engine {
    // A distinct wrong form; entries with the same form share it.
    struct Form {
        uint64_t head = 0;  // the first up to 8 bytes, as load64 reads them
        uint64_t headMask = 0;
        const Byte* bytes = nullptr;
        uint32_t length = 0;
        uint32_t entriesBegin = 0, entriesEnd = 0;  // into formEntries
        uint32_t lastEntry = 0;
        int32_t overlapSlot = -1;  // into lastEnd, for forms that can overlap themselves
    };
    struct Slot {
        uint32_t key = 0, begin = 0, end = 0;  // end == 0: empty
    };
    // The state of one scan.
    struct Pass {
        const Byte* doc;
        qsizetype size;
        int64_t base;
        uint64_t carry = 0;
        Byte tail[3 * kBlock] = {};
        qsizetype tailStart = -1;
        std::vector<uint64_t> hits;
        uint64_t last = 0;
        uint32_t lastLength = 0;
    };

    std::vector<Form> forms;
    std::vector<uint32_t> formEntries;
    std::vector<uint32_t> phraseBegin;  // per entry, plus one; into phrases
    std::vector<QByteArray> phrases;

    int32_t oneByte[256];
    std::vector<uint64_t> shortBits;   // 64K bits on the first two bytes of 2-3 byte forms
    std::vector<uint32_t> shortBegin;  // 64K + 1, into shortForms
    std::vector<uint32_t> shortForms;
    std::vector<uint64_t> bloom;  // blocked two-bit filter on the first four bytes
    int bloomShift = 64;
    std::vector<Slot> prefixes;  // first four bytes -> longForms range
    uint32_t prefixMask = 0;
    std::vector<uint32_t> longForms;
    bool hasOne = false, hasShort = false, hasLong = false;

    // The end of each overlapping form's last counted occurrence, on a scale
    // that every scan moves past, so nothing is cleared per document.
    mutable std::vector<int64_t> lastEnd;
    mutable int64_t nextBase = 1;

    explicit Engine(const std::vector<EntryLine>& entries);

    void candidate(Pass& pass, uint32_t f, const Byte* at, qsizetype pos) const;
    bool excused(const Pass& pass, uint32_t entry, qsizetype pos, qsizetype w) const;
    template <bool One, bool Short, bool Long>
    void searchWith(Pass& pass, qsizetype from, qsizetype to) const;
    void search(Pass& pass, qsizetype from, qsizetype to) const;
};

Scanner::Engine::Engine(const std::vector<EntryLine>& entries) {
    std::fill(std::begin(oneByte), std::end(oneByte), -1);
    phraseBegin.reserve(entries.size() + 1);
    std::unordered_map<std::string_view, uint32_t> formOf;
    formOf.reserve(entries.size());
    std::vector<uint32_t> formOfEntry(entries.size(), UINT32_MAX);
    std::vector<uint32_t> entryCount;
    for (size_t k = 0; k < entries.size(); ++k) {
        phraseBegin.push_back(static_cast<uint32_t>(phrases.size()));
        for (const QByteArray& phrase : entries[k].exceptions.split(';'))
            if (!phrase.isEmpty()) phrases.push_back(phrase);
        const QByteArray& wrong = entries[k].wrong;
        if (wrong.isEmpty()) continue;
        const auto [it, added] = formOf.try_emplace(
            std::string_view(wrong.constData(), static_cast<size_t>(wrong.size())),
            static_cast<uint32_t>(forms.size()));
        if (added) {
            Form form;
            form.bytes = reinterpret_cast<const Byte*>(wrong.constData());
            form.length = static_cast<uint32_t>(wrong.size());
            Byte head[8] = {};
            const size_t headLength = std::min<size_t>(8, form.length);
            std::memcpy(head, form.bytes, headLength);
            Byte mask[8] = {};
            std::memset(mask, 0xFF, headLength);
            form.head = load64(head);
            form.headMask = load64(mask);
            if (canOverlap(wrong)) form.overlapSlot = static_cast<int32_t>(lastEnd.size());
            if (form.overlapSlot >= 0) lastEnd.push_back(0);
            forms.push_back(form);
            entryCount.push_back(0);
        }
        formOfEntry[k] = it->second;
        ++entryCount[it->second];
        forms[it->second].lastEntry = static_cast<uint32_t>(k);
    }
    phraseBegin.push_back(static_cast<uint32_t>(phrases.size()));

    uint32_t next = 0;
    for (size_t f = 0; f < forms.size(); ++f) {
        forms[f].entriesBegin = forms[f].entriesEnd = next;
        next += entryCount[f];
    }
    formEntries.resize(next);
    for (size_t k = 0; k < entries.size(); ++k)
        if (formOfEntry[k] != UINT32_MAX)
            formEntries[forms[formOfEntry[k]].entriesEnd++] = static_cast<uint32_t>(k);

    std::vector<uint32_t> shortOnes;
    for (uint32_t f = 0; f < forms.size(); ++f) {
        const Form& form = forms[f];
        if (form.length == 1) {
            oneByte[form.bytes[0]] = static_cast<int32_t>(f);
            hasOne = true;
        } else if (form.length < 4) {
            shortOnes.push_back(f);
        } else {
            longForms.push_back(f);
        }
    }

    if (!shortOnes.empty()) {
        hasShort = true;
        shortBits.assign(65536 / 64, 0);
        shortBegin.assign(65537, 0);
        for (uint32_t f : shortOnes) ++shortBegin[key2(forms[f].bytes) + 1];
        for (size_t i = 1; i < shortBegin.size(); ++i) shortBegin[i] += shortBegin[i - 1];
        shortForms.resize(shortOnes.size());
        std::vector<uint32_t> fill(shortBegin.begin(), shortBegin.end() - 1);
        for (uint32_t f : shortOnes) {
            const uint32_t k = key2(forms[f].bytes);
            shortForms[fill[k]++] = f;
            shortBits[k >> 6] |= 1ULL << (k & 63);
        }
    }

    if (!longForms.empty()) {
        hasLong = true;
        std::sort(longForms.begin(), longForms.end(), [&](uint32_t a, uint32_t b) {
            return load32(forms[a].bytes) < load32(forms[b].bytes);
        });
        size_t keys = 0;
        for (size_t i = 0; i < longForms.size(); ++i)
            if (i == 0 ||
                load32(forms[longForms[i]].bytes) != load32(forms[longForms[i - 1]].bytes))
                ++keys;
        // About 32 bits per key keeps the filter's false passes near one in a hundred.
        const int bloomBits = std::clamp(ceilLog2(keys * 32), 12, 24);
        bloom.assign(size_t{1} << (bloomBits - 6), 0);
        bloomShift = 64 - (bloomBits - 6);
        prefixes.assign(size_t{1} << std::max(4, ceilLog2(keys * 2)), Slot{});
        prefixMask = static_cast<uint32_t>(prefixes.size() - 1);
        for (size_t i = 0; i < longForms.size();) {
            const uint32_t key = load32(forms[longForms[i]].bytes);
            size_t j = i + 1;
            while (j < longForms.size() && load32(forms[longForms[j]].bytes) == key) ++j;
            const uint64_t h = key * kHashFactor;
            bloom[h >> bloomShift] |= 1ULL << ((h >> 20) & 63) | 1ULL << ((h >> 26) & 63);
            uint32_t s = static_cast<uint32_t>(h >> 32) & prefixMask;
            while (prefixes[s].end != 0) s = (s + 1) & prefixMask;
            prefixes[s] = {key, static_cast<uint32_t>(i), static_cast<uint32_t>(j)};
            i = j;
        }
    }
}

bool Scanner::Engine::excused(const Pass& pass, uint32_t entry, qsizetype pos, qsizetype w) const {
    for (uint32_t i = phraseBegin[entry]; i < phraseBegin[entry + 1]; ++i) {
        const QByteArray& phrase = phrases[i];
        const qsizetype d = std::abs(phrase.size() - w);
        const qsizetype begin = std::max<qsizetype>(0, pos - d);
        const qsizetype end = std::min(pass.size, pos + w + d);
        if (end - begin < phrase.size()) continue;
        const std::string_view window(reinterpret_cast<const char*>(pass.doc) + begin,
                                      static_cast<size_t>(end - begin));
        if (window.find(std::string_view(phrase.constData(), static_cast<size_t>(phrase.size()))) !=
            std::string_view::npos)
            return true;
    }
    return false;
}

void Scanner::Engine::candidate(Pass& pass, uint32_t f, const Byte* at, qsizetype pos) const {
    const Form& form = forms[f];
    if (pos + form.length > pass.size || (load64(at) & form.headMask) != form.head) return;
    if (form.length > 8 && std::memcmp(pass.doc + pos + 8, form.bytes + 8, form.length - 8) != 0)
        return;
    if (form.overlapSlot >= 0) {
        int64_t& end = lastEnd[static_cast<size_t>(form.overlapSlot)];
        if (pass.base + pos < end) return;
        end = pass.base + pos + form.length;
    }
    const uint64_t last =
        static_cast<uint64_t>(form.lastEntry) << kPositionBits | static_cast<uint64_t>(pos + 1);
    if (last > pass.last) {
        pass.last = last;
        pass.lastLength = form.length;
    }
    for (uint32_t i = form.entriesBegin; i < form.entriesEnd; ++i) {
        const uint32_t entry = formEntries[i];
        if (phraseBegin[entry] == phraseBegin[entry + 1] || !excused(pass, entry, pos, form.length))
            pass.hits.push_back(static_cast<uint64_t>(entry) << kPositionBits |
                                static_cast<uint64_t>(pos));
    }
}

template <bool One, bool Short, bool Long>
void Scanner::Engine::searchWith(Pass& pass, qsizetype from, qsizetype to) const {
    for (qsizetype b = from; b < to; b += kBlock) {
        const Byte* at = pass.doc + b;
        if (b + kBlock + kReadAhead > pass.size) {
            // The last bytes are read from a zero-padded copy.
            if (pass.tailStart < 0) {
                pass.tailStart = b;
                std::memcpy(pass.tail, pass.doc + b, static_cast<size_t>(pass.size - b));
            }
            at = pass.tail + (b - pass.tailStart);
        }
        uint64_t lead, trail;
        classify(at, lead, trail);
        const uint64_t pairs =
            lead & ((trail >> 1) | static_cast<uint64_t>(isTrail(at[kBlock])) << 63);
        uint64_t starts = characterStartsOf(pairs, pass.carry);
        if (pass.size - b < kBlock) starts &= (1ULL << (pass.size - b)) - 1;
        while (starts) {
            const int i = std::countr_zero(starts);
            starts &= starts - 1;
            const Byte* p = at + i;
            const qsizetype pos = b + i;
            if constexpr (Long) {
                const uint32_t key = load32(p);
                const uint64_t h = key * kHashFactor;
                const uint64_t word = bloom[h >> bloomShift];
                if ((word >> ((h >> 20) & 63)) & (word >> ((h >> 26) & 63)) & 1) [[unlikely]] {
                    for (uint32_t s = static_cast<uint32_t>(h >> 32) & prefixMask;
                         prefixes[s].end != 0; s = (s + 1) & prefixMask) {
                        if (prefixes[s].key != key) continue;
                        for (uint32_t j = prefixes[s].begin; j < prefixes[s].end; ++j)
                            candidate(pass, longForms[j], p, pos);
                        break;
                    }
                }
            }
            if constexpr (Short) {
                const uint32_t k = key2(p);
                if ((shortBits[k >> 6] >> (k & 63)) & 1) [[unlikely]] {
                    for (uint32_t j = shortBegin[k]; j < shortBegin[k + 1]; ++j)
                        candidate(pass, shortForms[j], p, pos);
                }
            }
            if constexpr (One) {
                if (oneByte[*p] >= 0) candidate(pass, static_cast<uint32_t>(oneByte[*p]), p, pos);
            }
        }
    }
}

void Scanner::Engine::search(Pass& pass, qsizetype from, qsizetype to) const {
    switch ((hasOne ? 4 : 0) | (hasShort ? 2 : 0) | (hasLong ? 1 : 0)) {
        case 0:
            return;
        case 1:
            return searchWith<false, false, true>(pass, from, to);
        case 2:
            return searchWith<false, true, false>(pass, from, to);
        case 3:
            return searchWith<false, true, true>(pass, from, to);
        case 4:
            return searchWith<true, false, false>(pass, from, to);
        case 5:
            return searchWith<true, false, true>(pass, from, to);
        case 6:
            return searchWith<true, true, false>(pass, from, to);
        default:
            return searchWith<true, true, true>(pass, from, to);
    }
}

namespace {

// Orders the hits by entry; those of one entry were found in ascending
// position, and the sort by entry keeps that order.
void sortByEntry(std::vector<uint64_t>& hits, size_t entries) {
    if (hits.size() < 512) {
        std::sort(hits.begin(), hits.end());
        return;
    }
    constexpr int kDigit = 12;
    std::vector<uint64_t> other(hits.size());
    for (int shift = kPositionBits; shift < kPositionBits + ceilLog2(entries + 1);
         shift += kDigit) {
        std::vector<size_t> count((size_t{1} << kDigit) + 1, 0);
        for (uint64_t h : hits) ++count[((h >> shift) & ((1U << kDigit) - 1)) + 1];
        for (size_t i = 1; i < count.size(); ++i) count[i] += count[i - 1];
        for (uint64_t h : hits) other[count[(h >> shift) & ((1U << kDigit) - 1)]++] = h;
        hits.swap(other);
    }
}

}  // namespace

Scanner::Scanner(std::vector<EntryLine> entries)
    : entries_(std::move(entries)), engine_(std::make_unique<Engine>(entries_)) {}

Scanner::~Scanner() = default;
Scanner::Scanner(Scanner&&) noexcept = default;
Scanner& Scanner::operator=(Scanner&&) noexcept = default;

std::vector<Hit> Scanner::scan(const QByteArray& document, ScanObserver* observer) const {
    Engine::Pass pass;
    pass.doc = reinterpret_cast<const Byte*>(document.constData());
    pass.size = document.size();
    pass.base = engine_->nextBase;
    engine_->nextBase += pass.size + 1;

    bool stopped = false;
    const qsizetype step = observer ? kProgressStep : pass.size;
    for (qsizetype from = 0; from < pass.size && !stopped; from += step) {
        const qsizetype to = std::min(pass.size, from + step);
        engine_->search(pass, from, to);
        if (observer) {
            observer->bytesDone(to);
            stopped = observer->stopRequested();
        }
    }
    if (observer && pass.size == 0) observer->bytesDone(0);

    sortByEntry(pass.hits, entries_.size());
    std::vector<Hit> hits;
    hits.reserve(pass.hits.size());
    for (uint64_t h : pass.hits) {
        const qsizetype entry = static_cast<qsizetype>(h >> kPositionBits);
        hits.push_back({entry, static_cast<qsizetype>(h & ((1ULL << kPositionBits) - 1)) + 1,
                        entries_[static_cast<size_t>(entry)].wrong.size()});
    }
    if (observer && !stopped) {
        if (pass.last != 0)
            observer->occurrenceFound(
                static_cast<qsizetype>(pass.last & ((1ULL << kPositionBits) - 1)), pass.lastLength);
        observer->entryDone(static_cast<qsizetype>(entries_.size()));
    }
    return hits;
}
