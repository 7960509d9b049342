// SPDX-License-Identifier: MIT
#pragma once
// What the soak's peers send each other: draw records and chat lines that carry their sender's
// id and a sequence number (chat lines also the time they were sent), so that a receiver can
// tell whether everything came once and in order, and how late.
#include <optional>
#include <string>
#include <string_view>

long long NowNs();

// Record number seq of sender id: its colour field is 1000 + id, its width field id.
std::string DrawLine(long seq, int id);
// The five number fields of a "{10}" line; false when it is not a whole one.
bool ReadDraw(std::string_view line, long (&fields)[5]);

// Chat line number seq of sender id, under the name it joined with, stamped now.
std::string ChatLine(const std::string& szName, int id, long seq);
struct ChatStamp {
    int id = 0;
    long seq = 0;
    double dAgeMs = 0; // from sending until now
};
std::optional<ChatStamp> ReadChat(std::string_view line);

// Hands each whole CR LF line in `in` to onLine and keeps the rest.
template <class Fn> void TakeLines(std::string& in, Fn&& onLine) {
    std::size_t pos = 0;
    for (;;) {
        const std::size_t end = in.find("\r\n", pos);
        if (end == std::string::npos) {
            break;
        }
        onLine(std::string_view(in).substr(pos, end - pos));
        pos = end + 2;
    }
    in.erase(0, pos);
}
