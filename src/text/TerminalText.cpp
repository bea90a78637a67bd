#include "text/TerminalText.h"

#include "text/GbkCodec.h"

QByteArray terminalText(const QString& text) {
    auto hex = [](uint value) {
        return QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
    };
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair =
            text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const char32_t ch =
            pair ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        const QChar::Category category = QChar::category(ch);
        if (ch == '\t' || ch == '\n' || ch == '\r' || ch == '\\') {
            out += ch == '\t' ? "\\t" : ch == '\n' ? "\\n" : ch == '\r' ? "\\r" : "\\\\";
        } else if (GbkCodec::isRawByte(ch)) {
            out += "\\x" + hex(uint(ch - GbkCodec::kRawByteBase));
        } else if (ch < 0x80 && category == QChar::Other_Control) {
            out += "\\x" + hex(uint(ch));
        } else if (category == QChar::Other_Control || category == QChar::Other_Format ||
                   category == QChar::Separator_Line || category == QChar::Separator_Paragraph ||
                   category == QChar::Other_Surrogate) {
            // Line and paragraph separators, direction overrides, invisible marks.
            out += "\\u{" + hex(uint(ch)) + '}';
        } else {
            out += text.mid(i, pair ? 2 : 1).toUtf8();
        }
        i += pair ? 1 : 0;
    }
    return out;
}
