// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zaplo {

// Reassembles one connection's byte stream into whole CR LF lines, so a message split across
// deliveries at any byte (even between CR and LF) still arrives whole. A line longer than
// kMaxLine bytes (CR LF not counted) is dropped up to and including its CR LF, however it
// arrives, so a peer that never ends its line cannot make the buffer grow without bound.
class ReceiveBuffer {
public:
    // Above every line the program sends itself: the longest chat line (32,767 characters of
    // up to 4 bytes of UTF-8, plus code and nickname, about 131 KB); the server refuses joins
    // that would make its user list longer than this.
    static constexpr std::size_t kMaxLine = 256 * 1024;

    void Append(std::string_view data);
    // The same; a piece that ends lines with nothing held before it becomes the lines as it is,
    // without a copy.
    void Append(std::string&& data);
    // The complete lines so far, each with its CR LF, ready for PacketProc; the unfinished tail
    // stays for the next Append.
    std::string TakeLines();
    // Bytes held: lines not yet taken plus the unfinished tail (at most kMaxLine + 1 bytes).
    std::size_t Buffered() const { return lines_.size() + tail_.size(); }

private:
    // Tail bytes that count towards the line length: a final CR may still begin the CR LF.
    static std::size_t ContentLength(std::string_view tail);
    void DropTail();

    std::string lines_;
    std::string tail_;        // the unfinished line, never longer than kMaxLine + 1
    bool bDropping_ = false;  // inside an overlong line, waiting for its CR LF
    bool bDroppedCR_ = false; // the last dropped byte was a CR
};

} // namespace zaplo
