// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <deque>

namespace zaplo {

// What a running log keeps: the newest lines while both their number and their size stay within
// the bounds, the oldest going first. Only the sizes are kept here; the box that holds the text
// drops as many of its oldest lines as Add says.
class LogKeep {
public:
    LogKeep(std::size_t nMaxLines, std::size_t nMaxBytes)
        : nMaxLines_(nMaxLines), nMaxBytes_(nMaxBytes) {}

    // Takes a new newest line of nBytes; returns how many of the oldest lines must go. A line
    // bigger than the whole byte bound is still kept on its own: the newest line always stays.
    std::size_t Add(std::size_t nBytes);
    void Clear();

    std::size_t Lines() const { return sizes_.size(); }
    std::size_t Bytes() const { return nBytes_; }
    std::size_t MaxLines() const { return nMaxLines_; }
    std::size_t MaxBytes() const { return nMaxBytes_; }

private:
    std::size_t nMaxLines_;
    std::size_t nMaxBytes_;
    std::size_t nBytes_ = 0;
    std::deque<std::size_t> sizes_; // newest first
};

} // namespace zaplo
