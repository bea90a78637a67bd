#include "proofread/Scanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <unordered_map>

#include "text/GbkCodec.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// The gathers of AVX2 pay on x86-64; the build needs no flag for them, the
// processor is asked at run time.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TAVREL_SCAN_AVX2 1
#endif

namespace {

using Byte = unsigned char;

constexpr qsizetype kBlock = 64;
// A block is read with this many bytes beyond it: the trail test of its last
// byte, the keys of its last starts and the 8-byte loads that compare a
// candidate's head.
constexpr qsizetype kReadAhead = 8;
constexpr uint64_t kEvenBits = 0x5555555555555555ULL;
constexpr uint64_t kHashFactor = 0x9E3779B97F4A7C15ULL;
constexpr uint32_t kFilterFactor = 0x9E3779B1U;
constexpr uint32_t kBitFactor = 0x85EBCA6BU;
constexpr uint32_t kSixByteFactor = 0xC2B2AE35U;
// A hit is kept as entry << kPositionBits | position, which sorts as the rows do.
constexpr int kPositionBits = 40;
// Up to this many forms of four bytes or more, two neighbouring positions
// share a filter word (KeyClass).
constexpr size_t kMaxPairedForms = 4096;

// Loads read little-endian on every processor, so that "the first n bytes"
// are the low n bytes.
template <typename T>
T loadLittle(const Byte* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big) {
        T swapped = 0;
        for (size_t i = 0; i < sizeof v; ++i)
            swapped |= ((v >> (8 * i)) & 0xFF) << (8 * (sizeof v - 1 - i));
        v = swapped;
    }
    return v;
}
uint32_t load32(const Byte* p) { return loadLittle<uint32_t>(p); }
uint64_t load64(const Byte* p) { return loadLittle<uint64_t>(p); }

constexpr bool isTrail(Byte b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE); }

// Bit i of `lead` / `trail`: byte i of the block can lead / end a two-byte character.
using Classify = void (*)(const Byte* p, uint64_t& lead, uint64_t& trail);

// Sixteen bytes at a time in the compiler's generic vectors, which every
// target compiles to its own instructions (or to plain words where it has
// none). A byte's answer is its bit weight; the sum of eight weights is the
// mask of eight bytes, in whatever order the lanes are stored.
using Bytes16 = Byte __attribute__((vector_size(16)));

void portableClassify(const Byte* p, uint64_t& lead, uint64_t& trail) {
    const Bytes16 weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    auto masks = [](Bytes16 bits) {
        uint64_t halves[2];
        std::memcpy(halves, &bits, sizeof halves);
        constexpr uint64_t kSum = 0x0101010101010101ULL;
        return (halves[0] * kSum) >> 56 | ((halves[1] * kSum) >> 56) << 8;
    };
    lead = trail = 0;
    for (int i = 0; i < kBlock; i += 16) {
        Bytes16 v;
        std::memcpy(&v, p + i, sizeof v);
        const Bytes16 notFF = v != 0xFF;
        const Bytes16 leads = (v > 0x80) & notFF;
        const Bytes16 trails = (v >= 0x40) & (v != 0x7F) & notFF;
        lead |= masks(leads & weights) << i;
        trail |= masks(trails & weights) << i;
    }
}

#if defined(__SSE2__)
void sse2Classify(const Byte* p, uint64_t& lead, uint64_t& trail) {
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
}
#endif

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

// The masks of two bits that a filter's hashes choose, by the hash's top bits.
struct TwoBits {
    std::array<uint32_t, 256> pair{};     // bits h >> 4 and h & 15 of a byte h
    std::array<uint32_t, 1024> hashed{};  // bits g >> 5 and g & 31 of ten bits g
};
constexpr TwoBits kTwoBits = [] {
    TwoBits t;
    for (uint32_t h = 0; h < 256; ++h) t.pair[h] = 1U << (h >> 4) | 1U << (h & 15);
    for (uint32_t g = 0; g < 1024; ++g) t.hashed[g] = 1U << (g >> 5) | 1U << (g & 31);
    return t;
}();

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

// The forms whose first bytes give the same key: one byte, two (for forms of
// two or three bytes) or four (for longer ones). A bit table on the key lets
// nearly every character start pass without a look at the forms.
struct KeyClass {
    // A distinct wrong form as the table holds it: what it takes to find and
    // record an occurrence sits in one place.
    struct Member {
        uint64_t head = 0;    // the first up to 8 bytes
        uint32_t length = 0;  // 0: an empty place
        uint32_t form = 0;    // its index among the engine's forms
        uint32_t lastEntry = 0;
        // Its entries with their exception phrases, in the engine's `refs`;
        // an empty range: the one entry lastEntry, without phrases.
        uint32_t refsBegin = 0, refsEnd = 0;
        int32_t overlapSlot = -1;  // into lastEnd, for forms that can overlap themselves

        uint64_t headMask() const { return ~0ULL >> (64 - 8 * std::min<uint32_t>(length, 8)); }
    };

    uint32_t keyMask = 0;
    // The filter. A short key is the index of its bit in `bits`. Few
    // four-byte keys share a word between two neighbouring positions, an
    // even one and the odd one after it, chosen by the three bytes their keys
    // have in common; each key sets two bits of its half (low: even) by a
    // hash of the whole key. Both positions are tested with one load, which
    // halves the lookups, the cost that matters. Many forms would crowd the
    // words of common characters, so there each key sets two bits of a word
    // of its own, both chosen by multiplicative hashes, and a form of six
    // bytes or more chooses them by its fifth and sixth bytes too, so that a
    // common first pair of characters seldom passes on its own.
    enum class Kind { Direct, Pairs, Hashed } kind = Kind::Direct;
    bool sixByteBits = false;
    int wordShift = 32;
    std::vector<uint32_t> bits;
    std::vector<Member> table;  // open addressing on the key
    // Beside each place of the table, what a candidate is compared with, in
    // half the room: most candidates are false and end here.
    struct Place {
        uint64_t head = 0, mask = 0;  // mask 0: an empty place
    };
    std::vector<Place> places;
    int tableShift = 64;
    // Candidates fetch their place in the table ahead only where the table
    // is too large for the first-level cache.
    bool prefetchTable = false;

    uint32_t shortPasses(const Byte* p) const {
        const uint32_t key = load32(p) & keyMask;
        return (bits[key >> 5] >> (key & 31)) & 1;
    }

    size_t pairWord(uint32_t shared) const {
        return static_cast<size_t>((shared * kFilterFactor) >> wordShift);
    }
    // The two bits of a paired key in the low half of a word: bits h >> 28
    // and (h >> 24) & 15 of its hash h, looked up rather than shifted, which
    // costs plain C++ less.
    static uint32_t pairBits(uint32_t key) { return kTwoBits.pair[(key * kBitFactor) >> 24]; }
    static bool pairPasses(uint32_t word, uint32_t key) {
        const uint32_t bits = pairBits(key);
        return (word & bits) == bits;
    }

    // The word of a hashed key and its two bits, those of the key and of the
    // six-byte key, from the first eight bytes.
    struct Probe {
        uint32_t word, four, six;
    };
    // Each pair of bits is that of the top ten bits of a hash g: g >> 27 and
    // (g >> 22) & 31.
    Probe probe(uint64_t v) const {
        const uint32_t key = static_cast<uint32_t>(v);
        const uint32_t h = key * kFilterFactor;
        const uint32_t six = (h ^ static_cast<uint32_t>((v >> 32) & 0xFFFF)) * kSixByteFactor;
        return {h >> wordShift, kTwoBits.hashed[(key * kBitFactor) >> 22],
                kTwoBits.hashed[six >> 22]};
    }
    template <bool Six>
    uint32_t hashedPasses(const Byte* p) const {
        const Probe q = probe(load64(p));
        const uint32_t word = bits[q.word];
        // Without a branch: which of the two passes is not foreseeable.
        return static_cast<uint32_t>((word & q.four) == q.four) |
               static_cast<uint32_t>(Six && (word & q.six) == q.six);
    }

    size_t home(uint32_t key) const {
        return static_cast<size_t>((key * kHashFactor) >> tableShift);
    }
    void prefetch(uint32_t first4) const {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(&places[home(first4 & keyMask)]);
#else
        (void)first4;
#endif
    }

    void prepare(int keyBytes, std::span<const Member> members) {
        keyMask = keyBytes == 4 ? 0xFFFFFFFFU : (1U << (8 * keyBytes)) - 1;
        kind = keyBytes < 4                        ? Kind::Direct
               : members.size() <= kMaxPairedForms ? Kind::Pairs
                                                   : Kind::Hashed;
        if (kind == Kind::Pairs) {
            // Sixteen words a form keep false passes rare; at most 128 KB,
            // which the second-level cache holds.
            const int wordBits = std::clamp(ceilLog2(members.size() * 16), 6, 15);
            wordShift = 32 - wordBits;
            bits.assign(size_t{1} << wordBits, 0);
        } else if (kind == Kind::Hashed) {
            // Some 64 bits a form keep false passes rare; a larger table no
            // longer stays in the cache.
            const int filterBits = std::clamp(ceilLog2(members.size() * 64), 16, 22);
            wordShift = 32 - (filterBits - 5);
            bits.assign(size_t{1} << (filterBits - 5), 0);
            sixByteBits = std::any_of(members.begin(), members.end(),
                                      [](const Member& m) { return m.length >= 6; });
        } else {
            bits.assign(std::max<size_t>(1, (size_t{1} << (8 * keyBytes)) / 32), 0);
        }
        const int tableBits = std::max(4, ceilLog2(members.size() * 3 / 2));
        table.assign(size_t{1} << tableBits, Member{});
        places.assign(table.size(), Place{});
        tableShift = 64 - tableBits;
        prefetchTable = places.size() * sizeof(Place) > 32 * 1024;
        for (const Member& m : members) {
            const uint32_t key = static_cast<uint32_t>(m.head) & keyMask;
            if (kind == Kind::Pairs) {
                bits[pairWord(key >> 8)] |= pairBits(key);
                bits[pairWord(key & 0xFFFFFF)] |= pairBits(key) << 16;
            } else if (kind == Kind::Hashed) {
                const Probe q = probe(m.head);
                bits[q.word] |= m.length >= 6 ? q.six : q.four;
            } else {
                bits[key >> 5] |= 1U << (key & 31);
            }
            size_t s = home(key);
            while (places[s].mask != 0) s = (s + 1) & (table.size() - 1);
            table[s] = m;
            places[s] = {m.head, m.headMask()};
        }
    }
};

using KeyClasses = std::array<KeyClass, 3>;
using CandidateFilter = uint64_t (*)(const KeyClasses&, const Byte*, uint64_t);

// What the filter does with the four-byte class, the last one where there is one.
enum Four { kNoFour, kPairs, kHashed, kHashedSix };

// The starts of a block that pass the filter of one of the first Short
// classes (short keys), or of the four-byte class after them.
template <int Short, int Four>
uint64_t portableCandidates(const KeyClasses& classes, const Byte* at, uint64_t starts) {
    uint64_t found = 0;
    if constexpr (Short > 0 || Four >= kHashed) {
        for (uint64_t rest = starts; rest != 0; rest &= rest - 1) {
            const int i = std::countr_zero(rest);
            uint32_t passes = 0;
            for (int c = 0; c < Short; ++c) passes |= classes[c].shortPasses(at + i);
            if constexpr (Four >= kHashed)
                passes |= classes[Short].hashedPasses<Four == kHashedSix>(at + i);
            found |= static_cast<uint64_t>(passes) << i;
        }
    }
    if constexpr (Four == kPairs) {
        const KeyClass& k = classes[Short];
        // One load of the filter for each pair of positions that holds a start.
        for (uint64_t rest = (starts | starts >> 1) & kEvenBits; rest != 0; rest &= rest - 1) {
            const int i = std::countr_zero(rest);
            const uint64_t v = load64(at + i);
            const uint32_t word = k.bits[k.pairWord(static_cast<uint32_t>(v >> 8) & 0xFFFFFF)];
            const uint64_t both =
                static_cast<uint64_t>(KeyClass::pairPasses(word, static_cast<uint32_t>(v))) |
                static_cast<uint64_t>(
                    KeyClass::pairPasses(word >> 16, static_cast<uint32_t>(v >> 8)))
                    << 1;
            found |= both << i;
        }
    }
    return found & starts;
}

#if defined(TAVREL_SCAN_AVX2)
// 1 in the lanes of `word` where the bits (low five bits of) a and b are set, else 0.
__attribute__((target("avx2"))) inline __m256i bothBits(__m256i word, __m256i a, __m256i b) {
    const __m256i low5 = _mm256_set1_epi32(31);
    return _mm256_and_si256(_mm256_and_si256(_mm256_srlv_epi32(word, _mm256_and_si256(a, low5)),
                                             _mm256_srlv_epi32(word, _mm256_and_si256(b, low5))),
                            _mm256_set1_epi32(1));
}

// 1 in the lanes where the paired key's two bits are set in `word`, `offset` bits up.
__attribute__((target("avx2"))) inline __m256i pairPasses(__m256i word, __m256i key,
                                                          __m256i offset) {
    const __m256i h = _mm256_mullo_epi32(key, _mm256_set1_epi32(static_cast<int>(kBitFactor)));
    const __m256i a = _mm256_add_epi32(_mm256_srli_epi32(h, 28), offset);
    const __m256i b = _mm256_add_epi32(_mm256_srli_epi32(_mm256_slli_epi32(h, 4), 28), offset);
    return _mm256_and_si256(
        _mm256_and_si256(_mm256_srlv_epi32(word, a), _mm256_srlv_epi32(word, b)),
        _mm256_set1_epi32(1));
}

// The same as portableCandidates for all 64 positions of a block at once,
// eight to a gather.
template <int Short, int Four>
__attribute__((target("avx2"))) uint64_t avx2Candidates(const KeyClasses& classes, const Byte* at,
                                                        uint64_t starts) {
    const __m256i one = _mm256_set1_epi32(1);
    uint64_t found = 0;
    for (int half = 0; half < 2; ++half) {
        // keys[r], lane j: the four bytes at position 4j + r of this half.
        __m256i keys[6];
        for (int r = 0; r < 6; ++r)
            keys[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32 * half + r));
        // Byte r of lane j stands for position 4j + r.
        __m256i passes = _mm256_setzero_si256();
        for (int c = 0; c < Short; ++c) {
            const KeyClass& k = classes[c];
            const __m256i keyMask = _mm256_set1_epi32(static_cast<int>(k.keyMask));
            const int* bits = reinterpret_cast<const int*>(k.bits.data());
            for (int r = 0; r < 4; ++r) {
                const __m256i key = _mm256_and_si256(keys[r], keyMask);
                const __m256i word = _mm256_i32gather_epi32(bits, _mm256_srli_epi32(key, 5), 4);
                const __m256i pass = _mm256_and_si256(
                    _mm256_srlv_epi32(word, _mm256_and_si256(key, _mm256_set1_epi32(31))), one);
                passes = _mm256_or_si256(passes, _mm256_slli_epi32(pass, 8 * r));
            }
        }
        if constexpr (Four == kPairs) {
            const KeyClass& k = classes[Short];
            const int* bits = reinterpret_cast<const int*>(k.bits.data());
            const __m128i wordShift = _mm_cvtsi32_si128(k.wordShift);
            const __m256i low = _mm256_setzero_si256();
            const __m256i high = _mm256_set1_epi32(16);
            // The pairs at 4j and 4j + 2; keys[2g + 1] holds the bytes they share.
            for (int g = 0; g < 2; ++g) {
                const __m256i shared =
                    _mm256_and_si256(keys[2 * g + 1], _mm256_set1_epi32(0xFFFFFF));
                const __m256i index = _mm256_srl_epi32(
                    _mm256_mullo_epi32(shared, _mm256_set1_epi32(static_cast<int>(kFilterFactor))),
                    wordShift);
                const __m256i word = _mm256_i32gather_epi32(bits, index, 4);
                const __m256i even = pairPasses(word, keys[2 * g], low);
                const __m256i odd = pairPasses(word, keys[2 * g + 1], high);
                passes =
                    _mm256_or_si256(passes, _mm256_or_si256(_mm256_slli_epi32(even, 16 * g),
                                                            _mm256_slli_epi32(odd, 16 * g + 8)));
            }
        }
        if constexpr (Four >= kHashed) {
            const KeyClass& k = classes[Short];
            const __m256i filterFactor = _mm256_set1_epi32(static_cast<int>(kFilterFactor));
            const __m256i bitFactor = _mm256_set1_epi32(static_cast<int>(kBitFactor));
            const __m128i wordShift = _mm_cvtsi32_si128(k.wordShift);
            const int* bits = reinterpret_cast<const int*>(k.bits.data());
            for (int r = 0; r < 4; ++r) {
                const __m256i h = _mm256_mullo_epi32(keys[r], filterFactor);
                const __m256i word =
                    _mm256_i32gather_epi32(bits, _mm256_srl_epi32(h, wordShift), 4);
                const __m256i g = _mm256_mullo_epi32(keys[r], bitFactor);
                __m256i pass = bothBits(word, _mm256_srli_epi32(g, 27), _mm256_srli_epi32(g, 22));
                if constexpr (Four == kHashedSix) {
                    const __m256i six =
                        _mm256_mullo_epi32(_mm256_xor_si256(h, _mm256_srli_epi32(keys[r + 2], 16)),
                                           _mm256_set1_epi32(static_cast<int>(kSixByteFactor)));
                    pass = _mm256_or_si256(pass, bothBits(word, _mm256_srli_epi32(six, 27),
                                                          _mm256_srli_epi32(six, 22)));
                }
                passes = _mm256_or_si256(passes, _mm256_slli_epi32(pass, 8 * r));
            }
        }
        // Bit 0 of each byte to its top, where movemask reads it.
        const uint32_t mask =
            static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_slli_epi32(passes, 7)));
        found |= static_cast<uint64_t>(mask) << (32 * half);
    }
    return found & starts;
}

// The classifier of sse2Classify, 32 bytes at a time.
__attribute__((target("avx2"))) void avx2Classify(const Byte* p, uint64_t& lead, uint64_t& trail) {
    const __m256i minus128 = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i minus1 = _mm256_set1_epi8(-1);
    const __m256i below40 = _mm256_set1_epi8(0x3F);
    const __m256i del = _mm256_set1_epi8(0x7F);
    lead = trail = 0;
    for (int i = 0; i < 2; ++i) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * i));
        const __m256i high = _mm256_cmpgt_epi8(minus1, v);
        const __m256i leads = _mm256_and_si256(high, _mm256_cmpgt_epi8(v, minus128));
        const __m256i ascii =
            _mm256_and_si256(_mm256_cmpgt_epi8(v, below40), _mm256_cmpgt_epi8(del, v));
        const __m256i trails = _mm256_or_si256(high, ascii);
        lead |= static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(leads)))
                << (32 * i);
        trail |= static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(trails)))
                 << (32 * i);
    }
}
#endif

// The filter for the classes an engine has: Short classes of short keys and
// what the four-byte class asks for.
template <template <int, int> class Pick>
CandidateFilter filterFor(int shortClasses, int four) {
    static constexpr CandidateFilter filters[3][4] = {
        {nullptr, Pick<0, kPairs>::f, Pick<0, kHashed>::f, Pick<0, kHashedSix>::f},
        {Pick<1, kNoFour>::f, Pick<1, kPairs>::f, Pick<1, kHashed>::f, Pick<1, kHashedSix>::f},
        {Pick<2, kNoFour>::f, Pick<2, kPairs>::f, Pick<2, kHashed>::f, Pick<2, kHashedSix>::f}};
    return filters[shortClasses][four];
}
template <int Short, int Four>
struct PickPortable {
    static constexpr CandidateFilter f = portableCandidates<Short, Four>;
};
#if defined(TAVREL_SCAN_AVX2)
template <int Short, int Four>
struct PickAvx2 {
    static constexpr CandidateFilter f = avx2Candidates<Short, Four>;
};
#endif

}  // namespace

struct Scanner::Engine {
    // An entry of a form, with the range of its exception phrases.
    struct EntryRef {
        uint32_t entry = 0, phrasesBegin = 0, phrasesEnd = 0;
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
        // The end of each overlapping form's last counted occurrence: state
        // of this scan alone, so that threads may share one Scanner.
        std::vector<int64_t> lastEnd;
        uint64_t last = 0;
        uint32_t lastLength = 0;

        // The bytes from pos on, `readable` of them readable. Past the
        // block searched last, at most kReadAhead bytes are asked for.
        const Byte* bytesAt(qsizetype pos, qsizetype readable);
    };

    std::vector<const Byte*> formBytes;
    // Per form: it ends in a lone lead byte, so an occurrence followed by a
    // trail byte would end inside a character.
    std::vector<bool> endsInLead;
    std::vector<uint32_t> lengths;  // of each entry's wrong form
    std::vector<EntryRef> refs;
    std::vector<QByteArray> phrases;
    KeyClasses classes;
    int classCount = 0;
    CandidateFilter filter = nullptr;
    enum class Classifier { Portable, Sse2, Avx2 } classifier = Classifier::Portable;
    const char* filterName = "portable";

    size_t overlapSlots = 0;  // forms that can overlap themselves
    // Every form starts with a lead byte, as Chinese words do: only the
    // starts of two-byte characters and lone lead bytes need the filter.
    bool leadFormsOnly = true;

    Engine(const std::vector<EntryLine>& entries, Filter kind);

    void occurrence(Pass& pass, const KeyClass::Member& form, qsizetype pos) const;
    bool excused(const Pass& pass, const EntryRef& ref, qsizetype pos, qsizetype w) const;
    void search(Pass& pass, qsizetype from, qsizetype to) const;
    template <Classify classify>
    void searchWith(Pass& pass, qsizetype from, qsizetype to) const;
};

Scanner::Engine::Engine(const std::vector<EntryLine>& entries, Filter kind) {
    using Member = KeyClass::Member;
    std::unordered_map<std::string_view, uint32_t> formOf;
    formOf.reserve(entries.size());
    std::vector<Member> forms;
    forms.reserve(entries.size());
    formBytes.reserve(entries.size());
    std::vector<uint32_t> formOfEntry(entries.size(), UINT32_MAX);
    std::vector<EntryRef> entryRefs(entries.size());
    lengths.reserve(entries.size());
    for (size_t k = 0; k < entries.size(); ++k) {
        const QByteArray& wrong = entries[k].wrong;
        lengths.push_back(static_cast<uint32_t>(wrong.size()));
        if (wrong.isEmpty()) continue;
        entryRefs[k] = {static_cast<uint32_t>(k), static_cast<uint32_t>(phrases.size()), 0};
        if (!entries[k].exceptions.isEmpty())
            for (const QByteArray& phrase : entries[k].exceptions.split(';'))
                if (!phrase.isEmpty()) phrases.push_back(phrase);
        entryRefs[k].phrasesEnd = static_cast<uint32_t>(phrases.size());
        const auto [it, added] = formOf.try_emplace(
            std::string_view(wrong.constData(), static_cast<size_t>(wrong.size())),
            static_cast<uint32_t>(forms.size()));
        if (added) {
            Member form;
            form.length = static_cast<uint32_t>(wrong.size());
            form.form = static_cast<uint32_t>(forms.size());
            Byte head[8] = {};
            std::memcpy(head, wrong.constData(), std::min<size_t>(8, form.length));
            form.head = load64(head);
            if (canOverlap(wrong)) {
                form.overlapSlot = static_cast<int32_t>(overlapSlots++);
            }
            forms.push_back(form);
            leadFormsOnly =
                leadFormsOnly && (form.head & 0xFF) >= 0x81 && (form.head & 0xFF) <= 0xFE;
            formBytes.push_back(reinterpret_cast<const Byte*>(wrong.constData()));
            endsInLead.push_back(GbkCodec::endsInLead(wrong.constData(), wrong.size()));
        }
        Member& form = forms[it->second];
        formOfEntry[k] = it->second;
        ++form.refsEnd;  // counted here, placed below
        form.lastEntry = static_cast<uint32_t>(k);
    }

    // Each form's entries in entry order; none at all for a single entry
    // without phrases, the common case.
    std::vector<bool> listed(forms.size());
    uint32_t next = 0;
    for (Member& form : forms) {
        const uint32_t count = form.refsEnd;
        const EntryRef& only = entryRefs[form.lastEntry];
        listed[form.form] = count > 1 || only.phrasesBegin != only.phrasesEnd;
        form.refsBegin = form.refsEnd = next;
        if (listed[form.form]) next += count;
    }
    refs.resize(next);
    for (size_t k = 0; k < entries.size(); ++k)
        if (formOfEntry[k] != UINT32_MAX && listed[formOfEntry[k]])
            refs[forms[formOfEntry[k]].refsEnd++] = entryRefs[k];

    // Forms of one, two to three and four and more bytes, keyed on their first
    // one, two and four bytes.
    auto classOf = [](const Member& form) {
        return form.length == 1 ? 0 : form.length < 4 ? 1 : 2;
    };
    std::sort(forms.begin(), forms.end(),
              [&](const Member& a, const Member& b) { return classOf(a) < classOf(b); });
    const int keyBytes[3] = {1, 2, 4};
    for (auto from = forms.begin(); from != forms.end();) {
        const auto to = std::find_if(from, forms.end(),
                                     [&](const Member& m) { return classOf(m) != classOf(*from); });
        classes[classCount++].prepare(keyBytes[classOf(*from)], std::span(from, to));
        from = to;
    }

    if (classCount == 0) return;
    const KeyClass& last = classes[classCount - 1];
    const int four = last.kind == KeyClass::Kind::Pairs    ? kPairs
                     : last.kind == KeyClass::Kind::Direct ? kNoFour
                     : last.sixByteBits                    ? kHashedSix
                                                           : kHashed;
    const int shortClasses = classCount - (four != kNoFour);
    filter = filterFor<PickPortable>(shortClasses, four);
    if (kind == Filter::Portable) return;
#if defined(__SSE2__)
    classifier = Classifier::Sse2;
    filterName = "SSE2";
#endif
#if defined(TAVREL_SCAN_AVX2)
    if (__builtin_cpu_supports("avx2")) {
        filter = filterFor<PickAvx2>(shortClasses, four);
        classifier = Classifier::Avx2;
        filterName = "AVX2";
    }
#endif
}

bool Scanner::Engine::excused(const Pass& pass, const EntryRef& ref, qsizetype pos,
                              qsizetype w) const {
    for (uint32_t i = ref.phrasesBegin; i < ref.phrasesEnd; ++i) {
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

// A counted occurrence of the form at pos (0-based), unless it overlaps the last one.
void Scanner::Engine::occurrence(Pass& pass, const KeyClass::Member& form, qsizetype pos) const {
    if (endsInLead[form.form] && pos + form.length < pass.size &&
        isTrail(pass.doc[pos + form.length]))
        return;
    if (form.overlapSlot >= 0) {
        int64_t& end = pass.lastEnd[static_cast<size_t>(form.overlapSlot)];
        if (pass.base + pos < end) return;
        end = pass.base + pos + form.length;
    }
    const uint64_t last =
        static_cast<uint64_t>(form.lastEntry) << kPositionBits | static_cast<uint64_t>(pos + 1);
    if (last > pass.last) {
        pass.last = last;
        pass.lastLength = form.length;
    }
    if (form.refsBegin == form.refsEnd) {
        pass.hits.push_back(static_cast<uint64_t>(form.lastEntry) << kPositionBits |
                            static_cast<uint64_t>(pos));
        return;
    }
    for (uint32_t i = form.refsBegin; i < form.refsEnd; ++i)
        if (refs[i].phrasesBegin == refs[i].phrasesEnd || !excused(pass, refs[i], pos, form.length))
            pass.hits.push_back(static_cast<uint64_t>(refs[i].entry) << kPositionBits |
                                static_cast<uint64_t>(pos));
}

void Scanner::Engine::search(Pass& pass, qsizetype from, qsizetype to) const {
    if (classCount == 0) return;
#if defined(TAVREL_SCAN_AVX2)
    if (classifier == Classifier::Avx2) return searchWith<avx2Classify>(pass, from, to);
#endif
#if defined(__SSE2__)
    if (classifier == Classifier::Sse2) return searchWith<sse2Classify>(pass, from, to);
#endif
    searchWith<portableClassify>(pass, from, to);
}

const Byte* Scanner::Engine::Pass::bytesAt(qsizetype pos, qsizetype readable) {
    if (pos + readable <= size) return doc + pos;
    // The last bytes are read from a zero-padded copy, made when the first
    // block that needs it is searched.
    if (tailStart < 0) {
        tailStart = pos - pos % kBlock;
        std::memcpy(tail, doc + tailStart, static_cast<size_t>(size - tailStart));
    }
    return tail + (pos - tailStart);
}

template <Classify classify>
void Scanner::Engine::searchWith(Pass& pass, qsizetype from, qsizetype to) const {
    // The candidates of a few blocks are gathered first and their places in
    // the tables fetched ahead, so that the cache misses overlap.
    constexpr qsizetype kBatch = 16 * kBlock;
    uint16_t candidates[kBatch];
    for (qsizetype batch = from; batch < to; batch += kBatch) {
        int count = 0;
        for (qsizetype b = batch; b < std::min(to, batch + kBatch); b += kBlock) {
            const Byte* at = pass.bytesAt(b, kBlock + kReadAhead);
            uint64_t lead, trail;
            classify(at, lead, trail);
            const uint64_t pairs =
                lead & ((trail >> 1) | static_cast<uint64_t>(isTrail(at[kBlock])) << 63);
            uint64_t starts = characterStartsOf(pairs, pass.carry);
            if (pass.size - b < kBlock) starts &= (1ULL << (pass.size - b)) - 1;
            if (leadFormsOnly) starts &= lead;
            for (uint64_t found = filter(classes, at, starts); found != 0; found &= found - 1) {
                const int i = std::countr_zero(found);
                candidates[count++] = static_cast<uint16_t>(b - batch + i);
                for (int c = 0; c < classCount; ++c)
                    if (classes[c].prefetchTable) classes[c].prefetch(load32(at + i));
            }
        }
        for (int n = 0; n < count; ++n) {
            const qsizetype pos = batch + candidates[n];
            const uint64_t bytes = load64(pass.bytesAt(pos, 8));
            for (int c = 0; c < classCount; ++c) {
                const KeyClass& k = classes[c];
                const size_t mask = k.table.size() - 1;
                for (size_t t = k.home(static_cast<uint32_t>(bytes) & k.keyMask);
                     k.places[t].mask != 0; t = (t + 1) & mask) {
                    if ((bytes & k.places[t].mask) != k.places[t].head) continue;
                    const KeyClass::Member& m = k.table[t];
                    if (pos + m.length > pass.size) continue;
                    if (m.length > 8 &&
                        std::memcmp(pass.doc + pos + 8, formBytes[m.form] + 8, m.length - 8) != 0)
                        continue;
                    occurrence(pass, m, pos);
                }
            }
        }
    }
}

namespace {

// The rows of the packed hits: by entry, and within an entry in the order
// found, which is by position.
std::vector<Hit> rowsOf(std::vector<uint64_t>& packed, const std::vector<uint32_t>& lengths) {
    auto row = [&](uint64_t h) {
        const size_t entry = static_cast<size_t>(h >> kPositionBits);
        return Hit{static_cast<qsizetype>(entry),
                   static_cast<qsizetype>(h & ((1ULL << kPositionBits) - 1)) + 1, lengths[entry]};
    };
    std::vector<Hit> rows(packed.size());
    if (packed.size() * 16 < lengths.size()) {
        std::sort(packed.begin(), packed.end());
        std::transform(packed.begin(), packed.end(), rows.begin(), row);
        return rows;
    }
    // Many hits: each goes straight to its place, counted per entry.
    std::vector<uint32_t> next(lengths.size() + 1, 0);
    for (uint64_t h : packed) ++next[(h >> kPositionBits) + 1];
    for (size_t i = 1; i < next.size(); ++i) next[i] += next[i - 1];
    for (uint64_t h : packed) rows[next[h >> kPositionBits]++] = row(h);
    return rows;
}

}  // namespace

Scanner::Scanner(std::vector<EntryLine> entries, Filter filter)
    : entries_(std::move(entries)), engine_(std::make_unique<Engine>(entries_, filter)) {}

Scanner::~Scanner() = default;
Scanner::Scanner(Scanner&&) noexcept = default;
Scanner& Scanner::operator=(Scanner&&) noexcept = default;

const char* Scanner::filterName() const { return engine_->filterName; }

std::vector<Hit> Scanner::scan(const QByteArray& document, ScanObserver* observer) const {
    Engine::Pass pass;
    pass.doc = reinterpret_cast<const Byte*>(document.constData());
    pass.size = document.size();
    pass.base = 1;  // past every end still 0
    pass.lastEnd.assign(engine_->overlapSlots, 0);

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

    std::vector<Hit> hits = rowsOf(pass.hits, engine_->lengths);
    if (observer && !stopped && pass.last != 0)
        observer->occurrenceFound(static_cast<qsizetype>(pass.last & ((1ULL << kPositionBits) - 1)),
                                  pass.lastLength);
    return hits;
}
