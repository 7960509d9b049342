// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zaplo {

// A picture as ordinary draw records: one "{10}" record per horizontal run of equal colour that
// differs from the background, so any participant paints it with its usual line code. A line's
// end point is not painted, so the run x0..x1 on row y travels as the segment (x0, y) to
// (x1 + 1, y).
class PictureRuns {
public:
    struct Run {
        int16_t x0 = 0; // first pixel
        int16_t x1 = 0; // last pixel, included
        int16_t y = 0;
        int32_t clr = 0;
        bool operator==(const Run&) const = default;
    };

    // Pixels beyond this column are not part of any run (coordinates are 16-bit, and x1 + 1
    // must fit too).
    static constexpr std::size_t kMaxWidth = 32767;

    // The runs of one row of Colour values, left to right.
    static std::vector<Run> RowRuns(std::span<const int32_t> row, int16_t y, int32_t background);
    // Appends the row's "{10}" messages, each ended by CR LF; returns how many.
    static std::size_t AppendRow(std::string& out, std::span<const int32_t> row, int16_t y,
                                 int32_t background);
};

} // namespace zaplo
