// SPDX-License-Identifier: MIT
#include "server/PlainLine.h"

#include <QList>
#include <QString>

namespace zaplo {

bool PlainLine::IsBidiControl(char32_t ch) {
    // Embeddings, overrides and isolates (and the marks) reorder whatever follows them on the
    // terminal: a peer's name could make the line read as something else.
    return (ch >= 0x202A && ch <= 0x202E) || (ch >= 0x2066 && ch <= 0x2069) || ch == 0x200E ||
           ch == 0x200F || ch == 0x061C;
}

std::string PlainLine::Make(std::string_view szText, qsizetype nMaxChars) {
    // No more bytes are decoded than the characters kept can take (a peer's text may be long);
    // decoding turns broken UTF-8 into U+FFFD already.
    const std::string_view szHead = szText.substr(0, 4 * static_cast<std::size_t>(nMaxChars + 1));
    const QString szDecoded =
        QString::fromUtf8(szHead.data(), static_cast<qsizetype>(szHead.size()));
    QString szOut;
    qsizetype nChars = 0;
    for (const char32_t ch : szDecoded.toUcs4()) {
        if (nChars++ == nMaxChars) {
            szOut += QChar(0x2026); // the rest is cut off
            break;
        }
        const bool bControl = QChar::category(ch) == QChar::Other_Control || IsBidiControl(ch);
        szOut += bControl ? QString(QChar::ReplacementCharacter) : QString::fromUcs4(&ch, 1);
    }
    return szOut.toStdString();
}

} // namespace zaplo
