#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

#include <iterator>

#include <vector>

// Short texts for the fuzzers: random bytes, or pieces of GBK that hold the
// lead/trail cases the engines care about, so that inputs meet often.
inline QByteArray takeText(FuzzedDataProvider& in, size_t maxPieces) {
    static const char* const kPieces[] = {"\xB0\xB4\xD7\xB0",  // a two-character word
                                          "\xB0\xB2",          // one character
                                          "\xB5\xC4",          // another
                                          "\xD7\xB0",          // a trail that is also a lead
                                          "a",
                                          "\x81",
                                          "\xFE",
                                          "\x40",
                                          "\x7F",
                                          "\x80",
                                          "\xFF",
                                          ";",
                                          "\r\n",
                                          "\n",
                                          "\r"};
    QByteArray text;
    const size_t pieces = in.ConsumeIntegralInRange<size_t>(0, maxPieces);
    for (size_t i = 0; i < pieces && in.remaining_bytes() > 0; ++i) {
        const uint8_t choice = in.ConsumeIntegral<uint8_t>();
        if (choice < std::size(kPieces))
            text += kPieces[choice];
        else
            text += char(choice);
    }
    return text;
}
