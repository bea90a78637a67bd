#pragma once

#include <QByteArray>

#include <vector>

#include "text/EncodingDetection.h"

// A document in another encoding as the scan reads it: the same text in GBK
// bytes, and the way back to the document's own bytes. A character GBK cannot
// hold becomes FF FF, counting two bytes as the text would in GBK, and a byte
// outside any character becomes FF; no form GBK text gives holds FF, so they
// match nothing. Line breaks, a byte-order mark and every other character
// keep their place, so a hit in the transcript is a hit of the same text.
// Characters are cut as the document's view cuts them.
class GbkTranscript {
  public:
    GbkTranscript(const QByteArray& bytes, TextEncoding encoding);

    const QByteArray& gbk() const { return gbk_; }
    // The document's byte offset of the character that starts at `gbkOffset`
    // (of the one that holds it, inside a character); gbk().size() gives the
    // document's size.
    qsizetype sourceOffset(qsizetype gbkOffset) const;

  private:
    QByteArray source_;
    TextEncoding encoding_;
    QByteArray gbk_;
    // Where the first character starting in each 16-byte block of the
    // transcript starts, in the transcript and in the document, and the
    // transcript's end; the way back walks on from the mark before.
    std::vector<quint32> markGbk_, markSource_;
};
