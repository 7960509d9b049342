// SPDX-License-Identifier: MIT
// Reading fields of a parameter list. Input: two bytes pick the field number (any 16-bit value,
// so 0 and negatives too), the rest is the list.

#include "fuzz/FuzzCheck.h"
#include "net/core/PacketParams.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using zaplo::GetPacketParam;
    if (size < 2) {
        return 0;
    }
    const auto nParam = static_cast<int16_t>(data[0] << 8 | data[1]);
    const std::string_view list(reinterpret_cast<const char*>(data) + 2, size - 2);

    std::vector<std::size_t> ends; // positions of the ";"s
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == ';') {
            ends.push_back(i);
        }
    }

    // The field asked for lies between the ";" before it (or the start) and its own ";".
    const std::string field = GetPacketParam(list, nParam);
    FUZZ_REQUIRE(field.find(';') == std::string::npos);
    if (nParam < 1 || static_cast<std::size_t>(nParam) > ends.size()) {
        FUZZ_REQUIRE(field.empty());
    } else {
        const auto n = static_cast<std::size_t>(nParam);
        const std::size_t start = n == 1 ? 0 : ends[n - 2] + 1;
        FUZZ_REQUIRE(field == list.substr(start, ends[n - 1] - start));
    }

    // The fields, each put back with its ";", give the list up to its last ";"; the text after it
    // is never a field. Checked for the first fields only, to keep runs fast.
    std::string rebuilt;
    const std::size_t nCheck = ends.size() < 64 ? ends.size() : 64;
    for (std::size_t n = 1; n <= nCheck; ++n) {
        rebuilt += GetPacketParam(list, static_cast<int>(n));
        rebuilt += ';';
    }
    FUZZ_REQUIRE(rebuilt == list.substr(0, nCheck == 0 ? 0 : ends[nCheck - 1] + 1));
    FUZZ_REQUIRE(GetPacketParam(list, static_cast<int>(ends.size()) + 1).empty());
    FUZZ_REQUIRE(GetPacketParam(list, 0).empty());
    return 0;
}
