// SPDX-License-Identifier: MIT
#pragma once

#include "server/LineBudget.h"

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zaplo {

// Writes the headless server's status lines, one per line, each after its local time
// ("2026-12-07 15:30:01 ann has joined!"). The text of a status line may carry a peer's bytes
// (a nickname, a status line of its own), so what is written is a PlainLine of at most
// kMaxChars characters. A LineBudget bounds how many lines are written.
class StatusPrinter {
public:
    static constexpr qsizetype kMaxChars = 200;

    using Write = std::function<void(std::string_view)>;
    // write takes each finished line with its line feed; now gives the wall time for the stamp,
    // ticks the program's millisecond counter for the budget.
    StatusPrinter(Write write, std::function<QDateTime()> now, std::function<int32_t()> ticks);

    void Print(std::string_view szStatus);

    // One finished line without its line feed.
    static std::string Format(const QDateTime& when, std::string_view szStatus);

private:
    void WriteLine(std::string_view szStatus);

    Write write_;
    std::function<QDateTime()> now_;
    std::function<int32_t()> ticks_;
    LineBudget budget_;
};

} // namespace zaplo
