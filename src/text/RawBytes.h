#pragma once

#include "text/GbkCodec.h"

// Characters the editor would alter (folded breaks, no-break spaces,
// non-characters) or that stand for raw bytes: no codec decodes bytes into
// them, so that the shown text always encodes back to the same bytes.
inline bool isKeptAsRawBytes(char32_t ch) {
    return ch == 0x00A0 || ch == 0x2028 || ch == 0x2029 || (ch >= 0xFDD0 && ch <= 0xFDEF) ||
           (ch >= GbkCodec::kRawByteBase && ch <= GbkCodec::kRawByteBase + 0xFF);
}
