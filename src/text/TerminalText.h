#pragma once

#include <QByteArray>
#include <QString>

// A text as UTF-8 that a terminal shows for what it is, whatever it holds: a
// terminal obeys the control sequences in what it is given, so a crafted file
// name or submission could set its title, move the cursor or pass for another
// line. TAB, LF, CR and backslash become \t, \n, \r and \\ (the escapes of the
// library's text form), other control bytes and raw bytes (see GbkCodec) \xHH,
// and invisible or direction-changing characters \u{HHHH}.
QByteArray terminalText(const QString& text);
