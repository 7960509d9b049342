// SPDX-License-Identifier: MIT
#include "net/core/PictureRuns.h"

#include "net/core/DrawPacket.h"
#include "net/core/MessageCode.h"

#include <algorithm>

namespace zaplo {

std::vector<PictureRuns::Run> PictureRuns::RowRuns(std::span<const int32_t> row, int16_t y,
                                                   int32_t background) {
    std::vector<Run> runs;
    const std::size_t width = std::min(row.size(), kMaxWidth);
    std::size_t x = 0;
    while (x < width) {
        const int32_t clr = row[x];
        std::size_t end = x + 1;
        while (end < width && row[end] == clr) {
            ++end;
        }
        if (clr != background) {
            runs.push_back({static_cast<int16_t>(x), static_cast<int16_t>(end - 1), y, clr});
        }
        x = end;
    }
    return runs;
}

std::size_t PictureRuns::AppendRow(std::string& out, std::span<const int32_t> row, int16_t y,
                                   int32_t background) {
    const std::vector<Run> runs = RowRuns(row, y, background);
    for (const Run& run : runs) {
        out += WireCode(MessageCode::Draw);
        out += GetDrawPacket(run.x0, run.y, static_cast<int16_t>(run.x1 + 1), run.y, run.clr);
        out += kCrLf;
    }
    return runs.size();
}

} // namespace zaplo
