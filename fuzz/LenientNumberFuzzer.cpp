// SPDX-License-Identifier: MIT
// The lenient numeric reading and half-to-even rounding. Input: byte 0 says whether exponents
// are read, the rest is the text. The value must be what the C library reads from the same
// number with the blanks taken out; the first 8 bytes, as a double, are rounded as well.

#include "fuzz/FuzzCheck.h"
#include "net/core/LenientNumber.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace zaplo {
namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The number the text starts with, blanks removed, in a form strtod reads the same way; empty
// when the text does not start with one. nSignificant counts the digits from the first nonzero.
std::string LeadingNumber(std::string_view text, bool bExponent, std::size_t& nSignificant) {
    std::string s;
    for (const char c : text) {
        if (c != ' ' && c != '\t') {
            s += c;
        }
    }
    std::size_t i = 0;
    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        number += s[i++];
    }
    bool bDigit = false;
    bool bNonzero = false;
    nSignificant = 0;
    auto digits = [&] {
        for (; i < s.size() && IsDigit(s[i]); ++i) {
            bDigit = true;
            bNonzero = bNonzero || s[i] != '0';
            nSignificant += bNonzero ? 1 : 0;
            number += s[i];
        }
    };
    digits();
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        digits();
    }
    if (!bDigit) {
        return {};
    }
    if (bExponent && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent += s[j++];
        }
        if (j < s.size() && IsDigit(s[j])) {
            for (; j < s.size() && IsDigit(s[j]); ++j) {
                exponent += s[j];
            }
            number += exponent;
        }
    }
    return number;
}

void CheckRounding(double v) {
    const double r = RoundHalfEven(v);
    if (std::isnan(v)) {
        FUZZ_REQUIRE(std::isnan(r));
        return;
    }
    if (std::isinf(v)) {
        FUZZ_REQUIRE(r == v);
        return;
    }
    FUZZ_REQUIRE(std::isfinite(r) && r == std::floor(r));
    const double off = std::fabs(r - v);
    FUZZ_REQUIRE(off <= 0.5);
    if (off == 0.5) {
        FUZZ_REQUIRE(std::fmod(r, 2.0) == 0.0);
    }
    FUZZ_REQUIRE(r == 0.0 || std::signbit(r) == std::signbit(v));
}

} // namespace
} // namespace zaplo

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace zaplo;
    if (size < 1) {
        return 0;
    }
    const bool bExponent = (data[0] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const double v = ReadLenientNumber(text, bExponent);
    FUZZ_REQUIRE(!std::isnan(v));

    std::size_t nSignificant = 0;
    const std::string number = LeadingNumber(text, bExponent, nSignificant);
    if (number.empty()) {
        FUZZ_REQUIRE(v == 0.0 && !std::signbit(v));
    } else {
        const double want = std::strtod(number.c_str(), nullptr);
        // Beyond 760 digits the reader may drop the last ones, which can move the value one step
        // towards zero; a result in the subnormal range may read as 0.
        const bool bSame = std::memcmp(&v, &want, sizeof v) == 0;
        const bool bTruncated = nSignificant > 760 && v == std::nextafter(want, 0.0);
        const bool bUnderflow =
            std::fabs(want) < DBL_MIN && v == 0.0 && std::signbit(v) == std::signbit(want);
        if (!(bSame || bTruncated || bUnderflow)) {
            std::fprintf(stderr, "read %.17g, strtod %.17g from \"%s\"\n", v, want,
                         number.substr(0, 200).c_str());
        }
        FUZZ_REQUIRE(bSame || bTruncated || bUnderflow);
    }

    CheckRounding(v);
    if (size >= 8) {
        double raw = 0;
        std::memcpy(&raw, data, sizeof raw);
        CheckRounding(raw);
    }
    return 0;
}
