#include "text/DocumentView.h"

#include <algorithm>
#include <bit>
#include <utility>

#include "text/TextCodec.h"

namespace {
constexpr qsizetype kBlock = 64;

bool isGbkView(TextEncoding encoding) {
    return encoding == TextEncoding::Gbk || encoding == TextEncoding::Binary;
}
}  // namespace

DocumentView::DocumentView(const QByteArray& bytes, TextEncoding encoding) : encoding_(encoding) {
    if (!isGbkView(encoding)) {
        byteOrderMark_ = TextCodec::byteOrderMark(bytes, encoding);
        const QByteArray body = bytes.mid(byteOrderMark_.size());
        lineEnding_ = TextCodec::dominantLineEnding(body, encoding);
        text_ = TextCodec::decode(body, encoding, lineEnding_, &offsets_);
        for (quint32& offset : offsets_) offset += quint32(byteOrderMark_.size());
        characters_ = text_.size();
        byteSize_ = bytes.size();
        return;
    }
    lineEnding_ = GbkCodec::dominantLineEnding(bytes);
    text_ = GbkCodec::decode(bytes, lineEnding_);
    characters_ = text_.size();
    const auto characters = static_cast<size_t>(characters_);
    wide_.assign((characters + kBlock - 1) / kBlock, 0);
    blockStart_.clear();
    blockStart_.reserve(wide_.size() + 1);
    qsizetype at = 0;
    for (size_t c = 0; c < characters; ++c) {
        if (c % kBlock == 0) blockStart_.push_back(at);
        const int length = GbkCodec::encodedLength(text_[qsizetype(c)].unicode(), lineEnding_);
        if (length == 2) wide_[c / kBlock] |= quint64(1) << (c % kBlock);
        at += length;
    }
    byteSize_ = at;
    blockStart_.push_back(byteSize_);
}

QString DocumentView::takeText() { return std::exchange(text_, QString()); }

QByteArray DocumentView::encode(const QString& editedText, QString* unencodable) const {
    return byteOrderMark_ + encodePiece(editedText, unencodable);
}

QByteArray DocumentView::encodePiece(const QString& piece, QString* unencodable) const {
    if (isGbkView(encoding_)) return GbkCodec::encode(piece, lineEnding_, unencodable);
    return TextCodec::encode(piece, encoding_, lineEnding_, unencodable);
}

qsizetype DocumentView::byteOffsetOf(qsizetype charIndex) const {
    charIndex = std::clamp<qsizetype>(charIndex, 0, characters_);
    if (charIndex == characters_) return byteSize_;
    if (!isGbkView(encoding_)) return offsets_[size_t(charIndex)];
    const auto block = static_cast<size_t>(charIndex / kBlock);
    const int within = static_cast<int>(charIndex % kBlock);
    const quint64 before = within == 0 ? 0 : wide_[block] & (~quint64(0) >> (kBlock - within));
    return blockStart_[block] + within + std::popcount(before);
}

qsizetype DocumentView::charIndexOf(qsizetype byteOffset) const {
    if (byteOffset <= 0) return 0;
    if (byteOffset >= byteSize()) return characters_;
    if (!isGbkView(encoding_)) {
        // The last unit starting at or before the offset; a byte-order mark
        // belongs to the first character.
        const auto after = std::upper_bound(offsets_.begin(), offsets_.end(), byteOffset);
        return std::max<qsizetype>(0, (after - offsets_.begin()) - 1);
    }
    // The last block starting at or before the offset, then the last
    // character in it that does.
    const auto after = std::upper_bound(blockStart_.begin(), blockStart_.end(), byteOffset);
    const auto block = static_cast<size_t>(after - blockStart_.begin()) - 1;
    qsizetype at = blockStart_[block];
    qsizetype c = static_cast<qsizetype>(block) * kBlock;
    for (int i = 0;; ++i) {
        const qsizetype next = at + 1 + ((wide_[block] >> i) & 1);
        if (next > byteOffset) return c;
        at = next;
        ++c;
    }
}

std::pair<qsizetype, qsizetype> DocumentView::charRange(qsizetype byteStart,
                                                        qsizetype byteLength) const {
    const qsizetype first = charIndexOf(byteStart);
    if (byteLength <= 0) return {first, first};
    const qsizetype lastByte = byteStart + byteLength - 1;
    const qsizetype last = lastByte >= byteSize() ? characters_ : charIndexOf(lastByte) + 1;
    return {first, std::max(first, last)};
}
