// SPDX-License-Identifier: MIT
#include "net/core/PictureFeed.h"

#include "net/core/PictureRuns.h"

#include <algorithm>

namespace zaplo {

void PictureFeed::Start(int16_t iSlot) {
    Stop(iSlot);
    if (nRows_ > 0) {
        feeds_.push_back({iSlot, 0});
    }
}

void PictureFeed::Stop(int16_t iSlot) {
    std::erase_if(feeds_, [iSlot](const Feed& feed) { return feed.iSlot == iSlot; });
}

bool PictureFeed::Feeding(int16_t iSlot) const {
    return std::any_of(feeds_.begin(), feeds_.end(),
                       [iSlot](const Feed& feed) { return feed.iSlot == iSlot; });
}

std::vector<int16_t> PictureFeed::Slots() const {
    std::vector<int16_t> slots;
    slots.reserve(feeds_.size());
    for (const Feed& feed : feeds_) {
        slots.push_back(feed.iSlot);
    }
    return slots;
}

std::string PictureFeed::NextChunk(int16_t iSlot, int64_t nHeld, const RowReader& readRow,
                                   std::size_t* nRecords) {
    std::string szChunk;
    std::size_t nCount = 0;
    auto it = std::find_if(feeds_.begin(), feeds_.end(),
                           [iSlot](const Feed& feed) { return feed.iSlot == iSlot; });
    if (it != feeds_.end() && nHeld < kLowMark) {
        while (it->nNextRow < nRows_ && szChunk.size() < kChunkBytes) {
            row_.clear();
            readRow(it->nNextRow, row_);
            nCount += PictureRuns::AppendRow(szChunk, row_, static_cast<int16_t>(it->nNextRow),
                                             background_);
            ++it->nNextRow;
        }
        if (it->nNextRow >= nRows_) {
            feeds_.erase(it);
        }
    }
    if (nRecords != nullptr) {
        *nRecords = nCount;
    }
    return szChunk;
}

} // namespace zaplo
