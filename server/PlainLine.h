// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <string>
#include <string_view>

namespace zaplo {

// Text that may carry a peer's bytes (a nickname, a status line of its own) made fit for a
// terminal and for a line of its own: control characters (which could steer a terminal or end
// the line early) and bidirectional controls (which could reorder what the line seems to say)
// become U+FFFD, broken UTF-8 too, and the text is cut after nMaxChars characters, an ellipsis
// marking the cut.
class PlainLine {
public:
    static std::string Make(std::string_view szText, qsizetype nMaxChars);
    // The characters that change the direction of the text around them.
    static bool IsBidiControl(char32_t ch);
};

} // namespace zaplo
