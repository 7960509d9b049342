// SPDX-License-Identifier: MIT
#include "bench/soak/SoakRecords.h"

#include "bench/soak/SoakSocket.h"

#include <charconv>

long long NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(SoakClock::now().time_since_epoch())
        .count();
}

std::string DrawLine(long seq, int id) {
    return "{10}" + std::to_string(seq % 30000) + ";" + std::to_string(seq / 30000) + ";" +
           std::to_string(1000 + id) + ";0;" + std::to_string(id) + ";\r\n";
}

bool ReadDraw(std::string_view line, long (&fields)[5]) {
    if (!line.starts_with("{10}")) {
        return false;
    }
    const char* p = line.data() + 4;
    const char* const end = line.data() + line.size();
    for (long& field : fields) {
        const auto [next, ec] = std::from_chars(p, end, field);
        if (ec != std::errc() || next == end || *next != ';') {
            return false;
        }
        p = next + 1;
    }
    return true;
}

// The name stays what the sender joined with (the server may put that name there anyway); the
// id goes in the text.
std::string ChatLine(const std::string& szName, int id, long seq) {
    return "{1}{" + szName + "}" + std::to_string(id) + "c" + std::to_string(seq) + "t" +
           std::to_string(NowNs()) + "\r\n";
}

std::optional<ChatStamp> ReadChat(std::string_view line) {
    const std::size_t close = line.find('}', 4);
    if (!line.starts_with("{1}{") || close == std::string_view::npos) {
        return std::nullopt;
    }
    const char* p = line.data() + close + 1;
    const char* const end = line.data() + line.size();
    ChatStamp stamp;
    long long ns = 0;
    auto r = std::from_chars(p, end, stamp.id);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != 'c') {
        return std::nullopt;
    }
    r = std::from_chars(r.ptr + 1, end, stamp.seq);
    if (r.ec != std::errc() || r.ptr == end || *r.ptr != 't') {
        return std::nullopt;
    }
    r = std::from_chars(r.ptr + 1, end, ns);
    if (r.ec != std::errc()) {
        return std::nullopt;
    }
    stamp.dAgeMs = static_cast<double>(NowNs() - ns) / 1e6;
    return stamp;
}
