#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "text/GbkCodec.h"

// GB18030 read and written byte-exactly, by GbkCodec's raw-byte convention.
// One byte below 0x80, two bytes (as GBK, with GB18030's own table), or four
// bytes: the rest of the BMP and, from 90 30 81 30 on, every character beyond
// it. Offsets give a character beyond the BMP two bytes per surrogate.
class Gb18030Codec {
  public:
    using LineEnding = GbkCodec::LineEnding;

    static QString decode(const QByteArray& bytes, LineEnding lineEnding,
                          std::vector<quint32>* offsets);
    static QByteArray encode(const QString& text, LineEnding lineEnding, QString* unencodable);

    // True when every byte belongs to a GB18030 character and at least one
    // character takes four bytes: text that only GB18030 reads whole.
    static bool isFourByteText(const QByteArray& bytes);
    // The character of the sequence at `at` and its length, or 0 when no
    // character starts there.
    static int sequenceAt(const unsigned char* d, qsizetype size, qsizetype at, char32_t* cp);
};
