#include "documents/DocumentView.h"

#include <algorithm>

DocumentView::DocumentView(const QByteArray& bytes)
    : lineEnding_(GbkCodec::dominantLineEnding(bytes)) {
    text_ = GbkCodec::decode(bytes, lineEnding_, &offsets_);
}

qsizetype DocumentView::byteOffsetOf(qsizetype charIndex) const {
    charIndex = std::clamp<qsizetype>(charIndex, 0, text_.size());
    return static_cast<qsizetype>(offsets_[static_cast<size_t>(charIndex)]);
}

qsizetype DocumentView::charIndexOf(qsizetype byteOffset) const {
    if (byteOffset <= 0) return 0;
    if (byteOffset >= byteSize()) return text_.size();
    // The last character starting at or before the offset.
    const auto after =
        std::upper_bound(offsets_.begin(), offsets_.end(), static_cast<quint32>(byteOffset));
    return static_cast<qsizetype>(after - offsets_.begin()) - 1;
}

std::pair<qsizetype, qsizetype> DocumentView::charRange(qsizetype byteStart,
                                                        qsizetype byteLength) const {
    const qsizetype first = charIndexOf(byteStart);
    if (byteLength <= 0) return {first, first};
    const qsizetype lastByte = byteStart + byteLength - 1;
    const qsizetype last = lastByte >= byteSize() ? text_.size() : charIndexOf(lastByte) + 1;
    return {first, std::max(first, last)};
}
