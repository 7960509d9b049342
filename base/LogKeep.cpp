// SPDX-License-Identifier: MIT
#include "base/LogKeep.h"

namespace zaplo {

std::size_t LogKeep::Add(std::size_t nBytes) {
    sizes_.push_front(nBytes);
    nBytes_ += nBytes;
    std::size_t nDrop = 0;
    while (sizes_.size() > 1 && (sizes_.size() > nMaxLines_ || nBytes_ > nMaxBytes_)) {
        nBytes_ -= sizes_.back();
        sizes_.pop_back();
        ++nDrop;
    }
    return nDrop;
}

void LogKeep::Clear() {
    sizes_.clear();
    nBytes_ = 0;
}

} // namespace zaplo
