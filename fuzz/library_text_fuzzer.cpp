// The library text: a refusal names a line; what is accepted is written out
// and read back as the same entries.
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "library/LibraryText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Most inputs would fail on the header; give half of them one.
    QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    if (size > 0 && data[0] % 3 == 1)
        text = QByteArray(LibraryText::kEntryHeader) + '\n' + text.mid(1);
    if (size > 0 && data[0] % 3 == 2)
        text = QByteArray(LibraryText::kExportHeader) + '\n' + text.mid(1);

    QString error;
    const auto entries = LibraryText::read(text, &error);
    if (!entries) {
        FUZZ_CHECK(error.startsWith(QStringLiteral("第")));
        return 0;
    }
    for (const WordEntry& e : *entries) FUZZ_CHECK(e.tid == 0);

    const QByteArray written = LibraryText::write(*entries);
    FUZZ_CHECK(LibraryText::looksLikeText(written));
    const auto again = LibraryText::read(written, &error);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *entries);
    return 0;
}
