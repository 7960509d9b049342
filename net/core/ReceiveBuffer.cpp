// SPDX-License-Identifier: MIT
#include "net/core/ReceiveBuffer.h"

#include "net/core/MessageCode.h"

#include <utility>

namespace zaplo {

namespace {} // namespace

std::size_t ReceiveBuffer::ContentLength(std::string_view tail) {
    return !tail.empty() && tail.back() == '\r' ? tail.size() - 1 : tail.size();
}

void ReceiveBuffer::DropTail() {
    std::string().swap(tail_); // give the memory back as well
}

void ReceiveBuffer::Append(std::string_view data) {
    while (!data.empty()) {
        if (bDropping_) {
            if (bDroppedCR_ && data.front() == '\n') {
                data.remove_prefix(1);
                bDropping_ = bDroppedCR_ = false;
                continue;
            }
            const std::size_t end = data.find(kCrLf);
            if (end == std::string_view::npos) {
                bDroppedCR_ = data.back() == '\r';
                return;
            }
            data.remove_prefix(end + kCrLf.size());
            bDropping_ = bDroppedCR_ = false;
            continue;
        }

        // A CR kept at the end of the tail and an LF starting this piece end the line.
        if (!tail_.empty() && tail_.back() == '\r' && data.front() == '\n') {
            lines_ += tail_;
            lines_ += '\n';
            tail_.clear();
            data.remove_prefix(1);
            continue;
        }

        // No line can be too long in a piece shorter than the bound: its whole lines go in at
        // once, found from the back, with no search for each line end.
        if (tail_.empty() && data.size() <= kMaxLine) {
            const std::size_t last = data.rfind(kCrLf);
            if (last != std::string_view::npos) {
                lines_ += data.substr(0, last + kCrLf.size());
                data.remove_prefix(last + kCrLf.size());
                continue;
            }
        }

        const std::size_t end = data.find(kCrLf);
        if (end != std::string_view::npos) {
            if (tail_.size() + end <= kMaxLine) {
                lines_ += tail_;
                lines_ += data.substr(0, end + kCrLf.size());
            }
            tail_.clear();
            data.remove_prefix(end + kCrLf.size());
            continue;
        }

        // No line end in this piece: it all belongs to the unfinished line.
        if (tail_.size() + ContentLength(data) > kMaxLine) {
            DropTail();
            bDropping_ = true;
            bDroppedCR_ = data.back() == '\r';
            return;
        }
        tail_ += data;
        return;
    }
}

void ReceiveBuffer::Append(std::string&& data) {
    // Within the bound no line of the piece can be too long (as in the other Append).
    if (!lines_.empty() || !tail_.empty() || bDropping_ || data.size() > kMaxLine) {
        Append(std::string_view(data));
        return;
    }
    const std::size_t last = data.rfind(kCrLf);
    if (last == std::string::npos) {
        Append(std::string_view(data));
        return;
    }
    tail_.assign(data, last + kCrLf.size());
    data.resize(last + kCrLf.size());
    lines_ = std::move(data);
}

std::string ReceiveBuffer::TakeLines() {
    return std::exchange(lines_, std::string());
}

} // namespace zaplo
