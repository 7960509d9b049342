// SPDX-License-Identifier: MIT
#include "bench/bot/StampedRecord.h"

#include <cstring>

namespace {

char* PutInt(char* p, int64_t v) {
    char tmp[24];
    int n = 0;
    bool neg = v < 0;
    uint64_t u = neg ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
    do {
        tmp[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    if (neg) {
        *p++ = '-';
    }
    while (n) {
        *p++ = tmp[--n];
    }
    return p;
}

// Reads a decimal field ending at ';'; advances p past it.
bool ReadField(const char*& p, const char* end, int64_t& v) {
    bool neg = false;
    if (p < end && *p == '-') {
        neg = true;
        ++p;
    }
    int64_t x = 0;
    const char* start = p;
    while (p < end && *p >= '0' && *p <= '9') {
        x = x * 10 + (*p - '0');
        ++p;
    }
    if (p == start || p >= end || *p != ';') {
        return false;
    }
    ++p;
    v = neg ? -x : x;
    return true;
}

} // namespace

size_t StampedRecord::Make(char* buf, int id, int64_t seq, int64_t ns) {
    char* p = buf;
    int64_t k = seq < 0 ? 0 : seq;
    int sx = static_cast<int>((k * 7 + id * 31) % 400);
    int sy = static_cast<int>((k * 13 + id * 17) % 400);
    int dx = static_cast<int>((sx + 3 + k % 5) % 400);
    int dy = static_cast<int>((sy + 2 + k % 3) % 400);
    p = PutInt(p, sx);
    *p++ = ';';
    p = PutInt(p, sy);
    *p++ = ';';
    p = PutInt(p, dx);
    *p++ = ';';
    p = PutInt(p, dy);
    *p++ = ';';
    p = PutInt(p, (id * 2654435761u) & 0xffffff);
    *p++ = ';';
    p = PutInt(p, id);
    *p++ = ';';
    p = PutInt(p, seq);
    *p++ = ';';
    p = PutInt(p, ns);
    *p++ = ';';
    return static_cast<size_t>(p - buf);
}

bool StampedRecord::ReadStamp(const char* p, const char* end, int64_t& id, int64_t& seq,
                              int64_t& ns) {
    for (int k = 0; k < 5; ++k) {
        const char* semi =
            static_cast<const char*>(std::memchr(p, ';', static_cast<size_t>(end - p)));
        if (!semi) {
            return false;
        }
        p = semi + 1;
    }
    return ReadField(p, end, id) && ReadField(p, end, seq) && ReadField(p, end, ns);
}
