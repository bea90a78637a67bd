// The scan engine against the per-entry search on generated documents, with
// each filter this processor offers: built for ARM64 and run under qemu by
// scripts/arm64-test.sh, where the engine has no x86 vector code to lean on.
// Prints one line per filter and exits 1 when any hit differs.

#include <cstdio>
#include <random>
#include <vector>

#include "proofread/PerEntrySearch.h"
#include "proofread/Scanner.h"

namespace {

// Few symbols, so that forms and stray bytes collide often; runs of
// lead-range bytes that cross the engine's 64-byte blocks; every byte value;
// and, where given, the library's own forms.
QByteArray text(std::mt19937& random, int pieces, const std::vector<EntryLine>* words = nullptr) {
    static const char* const kPieces[] = {"\xB5\xC4", "\xC8\xB7", "\xB0\xA1", "\xE8\xB0", "A",
                                          "AB",       "\xB0",     "\x80",     "\xFF",     ";"};
    QByteArray out;
    for (int i = 0; i < pieces; ++i) {
        const unsigned r = random() % 50;
        if (r == 0)
            out += QByteArray(static_cast<qsizetype>(random() % 140), '\xB0');
        else if (r == 1)
            out += static_cast<char>(random() % 256);
        else if (words && r < 20)
            out += (*words)[random() % words->size()].wrong;
        else
            out += kPieces[random() % std::size(kPieces)];
    }
    return out;
}

// `size` entries over `characters` two-byte characters, words of one to
// four of them, some with an odd byte or an exception phrase.
std::vector<EntryLine> library(std::mt19937& random, int size, int characters) {
    auto character = [&] {
        const unsigned c = random() % static_cast<unsigned>(characters);
        const char pair[2] = {static_cast<char>(0xB0 + c / 12), static_cast<char>(0xA1 + c % 12)};
        return QByteArray(pair, 2);
    };
    std::vector<EntryLine> entries;
    for (int i = 0; i < size; ++i) {
        QByteArray wrong;
        const unsigned kind = random() % 8;
        if (kind == 0) {
            wrong = text(random, 1 + static_cast<int>(random() % 3));
        } else {
            for (unsigned c = 0; c < 1 + kind % 4; ++c) wrong += character();
            if (random() % 7 == 0) wrong += 'A';
        }
        const QByteArray exceptions = random() % 4 == 0 ? character() + wrong : QByteArray();
        entries.push_back({wrong, "r", exceptions});
    }
    return entries;
}

}  // namespace

int main() {
    std::mt19937 random(20261210);
    struct Row {
        int entries, characters, documents, pieces;
    };
    bool allSame = true;
    for (const Row& row : {Row{12, 36, 400, 60}, Row{300, 60, 40, 4000}, Row{2000, 120, 2, 8000},
                           Row{9000, 600, 1, 8000}}) {
        const std::vector<EntryLine> entries = library(random, row.entries, row.characters);
        std::vector<QByteArray> documents;
        for (int d = 0; d < row.documents; ++d)
            documents.push_back(text(random, static_cast<int>(random() % row.pieces), &entries));
        for (const Scanner::Filter filter : {Scanner::Filter::Fastest, Scanner::Filter::Portable}) {
            const Scanner scanner(entries, filter);
            const PerEntrySearch plain(entries);
            size_t hits = 0, differing = 0;
            for (const QByteArray& document : documents) {
                const std::vector<Hit> found = scanner.scan(document);
                hits += found.size();
                differing += found != plain.scan(document);
            }
            std::printf(
                "%-8s %5d entries, %3d documents: %7zu hits, same as the per-entry search: %s\n",
                scanner.filterName(), row.entries, row.documents, hits,
                differing == 0 ? "yes" : "NO");
            allSame = allSame && differing == 0;
        }
    }
    return allSame ? 0 : 1;
}
