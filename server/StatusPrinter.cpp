// SPDX-License-Identifier: MIT
#include "server/StatusPrinter.h"

#include "server/PlainLine.h"

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

std::string StatusPrinter::Format(const QDateTime& when, std::string_view szStatus) {
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")).toStdString() +
           PlainLine::Make(szStatus, kMaxChars);
}

} // namespace zaplo
