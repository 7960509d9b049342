// SPDX-License-Identifier: MIT
// Draw records. Input: the first 12 bytes are a segment (four 16-bit coordinates, a 32-bit
// colour) that is written and read back; the rest is a received record, read, written and read
// again, and read once more with a blank put in.

#include "fuzz/FuzzCheck.h"
#include "net/core/DrawPacket.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace zaplo {
namespace {

bool Same(const DrawRecord& a, const DrawRecord& b) {
    return a.sx == b.sx && a.sy == b.sy && a.dx == b.dx && a.dy == b.dy && a.clr == b.clr;
}

std::string Write(const DrawRecord& r) {
    return GetDrawPacket(r.sx, r.sy, r.dx, r.dy, r.clr);
}

// Five fields, each the shortest decimal: "0", or an optional "-" and no leading zero.
bool IsShortestForm(std::string_view text) {
    for (int n = 0; n < 5; ++n) {
        const std::size_t end = text.find(';');
        if (end == std::string_view::npos) {
            return false;
        }
        std::string_view field = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (field == "0") {
            continue;
        }
        if (field.starts_with('-')) {
            field.remove_prefix(1);
        }
        if (field.empty() || field.front() == '0' || field.size() > 10) {
            return false;
        }
        for (const char c : field) {
            if (c < '0' || c > '9') {
                return false;
            }
        }
    }
    return text.empty();
}

} // namespace
} // namespace zaplo

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace zaplo;
    if (size < 12) {
        return 0;
    }
    DrawRecord segment;
    std::memcpy(&segment.sx, data, 2);
    std::memcpy(&segment.sy, data + 2, 2);
    std::memcpy(&segment.dx, data + 4, 2);
    std::memcpy(&segment.dy, data + 6, 2);
    std::memcpy(&segment.clr, data + 8, 4);
    const std::string written = Write(segment);
    FUZZ_REQUIRE(IsShortestForm(written));
    const std::optional<DrawRecord> back = ReadDrawPacket(written);
    if (segment.clr >= 0 && segment.clr <= 16777215) {
        FUZZ_REQUIRE(back && Same(*back, segment));
    } else {
        FUZZ_REQUIRE(!back); // no valid colour, no record
    }

    const std::string_view text(reinterpret_cast<const char*>(data) + 12, size - 12);
    const std::optional<DrawRecord> record = ReadDrawPacket(text);
    if (!record) {
        return 0;
    }
    FUZZ_REQUIRE(record->clr >= 0 && record->clr <= 16777215);
    const std::string again = Write(*record);
    FUZZ_REQUIRE(IsShortestForm(again));
    const std::optional<DrawRecord> reread = ReadDrawPacket(again);
    FUZZ_REQUIRE(reread && Same(*reread, *record));

    // Blanks are ignored wherever they stand, and nothing after the fifth ";" counts.
    const std::size_t at = text.empty() ? 0 : data[0] % (text.size() + 1);
    for (const char blank : {' ', '\t'}) {
        std::string spaced(text);
        spaced.insert(at, 1, blank);
        const std::optional<DrawRecord> r = ReadDrawPacket(spaced);
        FUZZ_REQUIRE(r && Same(*r, *record));
    }
    const std::optional<DrawRecord> longer = ReadDrawPacket(again + std::string(text));
    FUZZ_REQUIRE(longer && Same(*longer, *record));
    return 0;
}
