// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zaplo {

// Which rows of the picture go to which newcomer next, and when. Each newcomer gets the rows from
// the top, a chunk at a time and only while little waits for it, so the picture queues behind
// nothing else and never grows a newcomer's backlog towards the point where the server paces or
// drops it. Rows are read when their chunk is made, from the picture as it is then: what changes
// in rows already sent reaches the newcomer as the live messages do.
class PictureFeed {
public:
    // A chunk is made only while the newcomer has less than this waiting (far below the mark
    // at which the server holds everybody back for one slow reader).
    static constexpr int64_t kLowMark = 64 * 1024;
    // A chunk stops after the row that reaches this size: a few rows of the busiest picture.
    static constexpr std::size_t kChunkBytes = 16 * 1024;

    // Fills row with the Colour values of picture row y.
    using RowReader = std::function<void(int y, std::vector<int32_t>& row)>;

    PictureFeed(int nRows, int32_t background) : nRows_(nRows), background_(background) {}

    // Feeds iSlot from the top (again from the top if it is being fed).
    void Start(int16_t iSlot);
    void Stop(int16_t iSlot);
    bool Feeding(int16_t iSlot) const;
    bool Idle() const { return feeds_.empty(); }
    std::vector<int16_t> Slots() const;

    // The next chunk for iSlot, which has nHeld bytes waiting: the "{10}" messages (each ended
    // by CR LF) of its next rows, read through readRow now, up to kChunkBytes. Empty when iSlot
    // is not fed or has kLowMark or more waiting. A feed ends, and is forgotten, with the chunk
    // that holds its last row; nRecords tells how many records the chunk holds.
    std::string NextChunk(int16_t iSlot, int64_t nHeld, const RowReader& readRow,
                          std::size_t* nRecords = nullptr);

private:
    struct Feed {
        int16_t iSlot = 0;
        int nNextRow = 0;
    };
    int nRows_;
    int32_t background_;
    std::vector<Feed> feeds_;
    std::vector<int32_t> row_;
};

} // namespace zaplo
