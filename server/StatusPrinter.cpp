#include "server/StatusPrinter.h"

#include <QString>

#include <utility>

namespace zaplo {

StatusPrinter::StatusPrinter(Write write, std::function<QDateTime()> now,
                             std::function<int32_t()> ticks)
    : write_(std::move(write)), now_(std::move(now)), ticks_(std::move(ticks)) {}

void StatusPrinter::Print(std::string_view szStatus) {
    if (!budget_.Take(ticks_())) {
        return;
    }
    if (const int64_t nDropped = budget_.TakeDropped(); nDropped > 0) {
        WriteLine("(" + std::to_string(nDropped) + " status lines not printed: too many)");
    }
    WriteLine(szStatus);
}

void StatusPrinter::WriteLine(std::string_view szStatus) {
    write_(Format(now_(), szStatus) + "\n");
}

bool StatusPrinter::IsBidiControl(char32_t ch) {
    // Embeddings, overrides and isolates (and the marks) reorder whatever follows them on the
    // terminal: a peer's name could make the line read as something else.
    return (ch >= 0x202A && ch <= 0x202E) || (ch >= 0x2066 && ch <= 0x2069) || ch == 0x200E ||
           ch == 0x200F || ch == 0x061C;
}

std::string StatusPrinter::Format(const QDateTime& when, std::string_view szStatus) {
    // No more bytes are decoded than the characters kept can take (a peer's status line may be
    // long); decoding turns broken UTF-8 into U+FFFD already.
    const std::string_view szHead = szStatus.substr(0, 4 * (kMaxChars + 1));
    const QString szText = QString::fromUtf8(szHead.data(), static_cast<qsizetype>(szHead.size()));
    QString szOut = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss "));
    qsizetype nChars = 0;
    for (const char32_t ch : szText.toUcs4()) {
        if (nChars++ == kMaxChars) {
            szOut += QChar(0x2026); // the rest is cut off
            break;
        }
        const bool bControl = QChar::category(ch) == QChar::Other_Control || IsBidiControl(ch);
        szOut += bControl ? QString(QChar::ReplacementCharacter) : QString::fromUcs4(&ch, 1);
    }
    return szOut.toStdString();
}

} // namespace zaplo
