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
