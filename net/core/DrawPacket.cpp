// SPDX-License-Identifier: MIT
#include "net/core/DrawPacket.h"

#include "net/core/LenientNumber.h"
#include "net/core/PacketParams.h"

#include <limits>

namespace zaplo {

namespace {

constexpr double kMaxColour = 16777215.0; // white, the largest red + 256 * green + 65536 * blue

// Field n read and rounded; nullopt when it lies outside [lo, hi].
std::optional<double> ReadField(std::string_view szPacket, int n, double lo, double hi) {
    const double v = RoundHalfEven(ReadLenientNumber(GetPacketParam(szPacket, n)));
    if (!(v >= lo && v <= hi)) {
        return std::nullopt;
    }
    return v;
}

// The record as GetDrawPacket writes it: five fields of an optional "-" and at most nine
// digits, each followed by ";". Read in one pass, without the lenient reader's work; the
// values are the ones it would give. False for anything else.
bool ReadPlainRecord(std::string_view szPacket, int32_t (&values)[5]) {
    constexpr std::size_t kMaxPlainDigits = 9; // fits int32_t
    std::size_t i = 0;
    for (int32_t& value : values) {
        const bool bNegative = i < szPacket.size() && szPacket[i] == '-';
        if (bNegative) {
            ++i;
        }
        const std::size_t nStart = i;
        int32_t v = 0;
        while (i < szPacket.size() && i - nStart < kMaxPlainDigits && szPacket[i] >= '0' &&
               szPacket[i] <= '9') {
            v = v * 10 + (szPacket[i] - '0');
            ++i;
        }
        if (i == nStart || i >= szPacket.size() || szPacket[i] != ';') {
            return false;
        }
        ++i;
        value = bNegative ? -v : v;
    }
    return true;
}

} // namespace

std::string GetDrawPacket(int16_t sx, int16_t sy, int16_t dx, int16_t dy, int32_t clr) {
    std::string szData;
    for (const int32_t v : {int32_t{sx}, int32_t{sy}, int32_t{dx}, int32_t{dy}, clr}) {
        szData += std::to_string(v);
        szData += ';';
    }
    return szData;
}

std::optional<DrawRecord> ReadDrawPacket(std::string_view szPacket) {
    constexpr double kLo = std::numeric_limits<int16_t>::min();
    constexpr double kHi = std::numeric_limits<int16_t>::max();
    if (int32_t plain[5]; ReadPlainRecord(szPacket, plain)) {
        for (int n = 0; n < 4; ++n) {
            if (plain[n] < kLo || plain[n] > kHi) {
                return std::nullopt;
            }
        }
        if (plain[4] < 0 || plain[4] > kMaxColour) {
            return std::nullopt;
        }
        return DrawRecord{static_cast<int16_t>(plain[0]), static_cast<int16_t>(plain[1]),
                          static_cast<int16_t>(plain[2]), static_cast<int16_t>(plain[3]), plain[4]};
    }
    int16_t point[4] = {};
    for (int n = 1; n <= 4; ++n) {
        const std::optional<double> v = ReadField(szPacket, n, kLo, kHi);
        if (!v) {
            return std::nullopt;
        }
        point[n - 1] = static_cast<int16_t>(*v);
    }
    const std::optional<double> clr = ReadField(szPacket, 5, 0.0, kMaxColour);
    if (!clr) {
        return std::nullopt;
    }
    return DrawRecord{point[0], point[1], point[2], point[3], static_cast<int32_t>(*clr)};
}

} // namespace zaplo
