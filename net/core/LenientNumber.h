// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace zaplo {

// Reads the number at the start of a text the forgiving way peers and typing produce: blanks
// (spaces, tabs) anywhere are ignored, then an optional sign, digits and an optional fraction
// after ".", and, when bExponent is set, an optional exponent ("E" or "e", optional sign,
// digits). Reading stops at the first character that does not fit; a text without a leading
// number reads as 0. Any length of digits is safe: far too large a value reads as an infinity,
// far too small a one as 0. Independent of the process locale.
double ReadLenientNumber(std::string_view text, bool bExponent = false);

// Nearest whole number, a half going to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// Infinities and NaN come back unchanged.
double RoundHalfEven(double v);

} // namespace zaplo
