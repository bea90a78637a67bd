#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// The encodings a document can be read and written in. Binary is not text:
// such a document is named as unreadable, never scanned.
enum class TextEncoding { Gbk, Gb18030, Utf8, Utf16Le, Utf16Be, Binary };

// The encoding of a document's bytes: a byte-order mark; for HTML, the charset
// its head names; valid UTF-8 with at least one multi-byte character;
// GB18030 with at least one four-byte character and no stray byte; else GBK.
// NUL bytes without a UTF-16 mark make it Binary.
TextEncoding detectEncoding(const QByteArray& bytes, bool isHtml);

// "GBK", "UTF-8", ... as shown to the user; empty for Binary.
QString encodingName(TextEncoding encoding);
// The encoding a command-line name (gbk, gb18030, utf-8, utf-16le, utf-16be,
// any case) stands for.
std::optional<TextEncoding> encodingFromName(QStringView name);
