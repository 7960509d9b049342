// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/DrawRecord.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zaplo {

// The draw record of one segment: "sx;sy;dx;dy;clr;" in shortest decimal, "-" for negatives,
// the last ";" included (the reader only finds fields that a ";" follows).
std::string GetDrawPacket(int16_t sx, int16_t sy, int16_t dx, int16_t dy, int32_t clr);

// Reads a received draw record leniently: each field by the numeric reading without exponent,
// rounded half to even; a missing field reads as 0 and fields after the fifth are ignored.
// nullopt when a coordinate does not fit 16 bits or the colour lies outside 0..16777215: no
// program ever sends such a record, and it must be neither drawn nor passed on.
std::optional<DrawRecord> ReadDrawPacket(std::string_view szPacket);

} // namespace zaplo
