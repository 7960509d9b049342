// SPDX-License-Identifier: MIT
#include "net/core/LenientNumber.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace zaplo {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Walks a text while skipping blanks.
class Cursor {
public:
    explicit Cursor(std::string_view text) : text_(text) { SkipBlanks(); }
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
    void Next() {
        ++pos_;
        SkipBlanks();
    }

private:
    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
    }
    std::string_view text_;
    std::size_t pos_ = 0;
};

// Exponent digits beyond this are only skipped: no text is long enough for its digits to make
// up for it, and reading on could overflow.
constexpr int64_t kExponentCap = 100'000'000'000'000'000;
// More significant digits than can change the nearest double; later ones are only counted.
constexpr std::size_t kMaxDigits = 800;

// The significant digits of a number (leading zeros of the whole part dropped), so the text
// handed to from_chars stays short for ordinary input, and how many digits lie before the point.
struct Mantissa {
    std::string digits;
    int64_t nScale = 0;
    bool bAnyDigit = false;
};

Mantissa ReadMantissa(Cursor& cur) {
    Mantissa m;
    while (IsDigit(cur.Peek())) {
        m.bAnyDigit = true;
        if (!m.digits.empty() || cur.Peek() != '0') {
            if (m.digits.size() < kMaxDigits) {
                m.digits += cur.Peek();
            }
            ++m.nScale;
        }
        cur.Next();
    }
    if (cur.Peek() == '.') {
        cur.Next();
        while (IsDigit(cur.Peek())) {
            m.bAnyDigit = true;
            if (m.digits.empty() && cur.Peek() == '0') {
                --m.nScale; // leading zero of the fraction
            } else if (m.digits.size() < kMaxDigits) {
                m.digits += cur.Peek();
            }
            cur.Next();
        }
    }
    return m;
}

// An "E" or "e" exponent with its sign; 0 when there is none.
int64_t ReadExponent(Cursor& cur) {
    if (cur.Peek() != 'E' && cur.Peek() != 'e') {
        return 0;
    }
    cur.Next();
    bool bNegative = false;
    if (cur.Peek() == '+' || cur.Peek() == '-') {
        bNegative = cur.Peek() == '-';
        cur.Next();
    }
    int64_t nExponent = 0;
    while (IsDigit(cur.Peek())) {
        if (nExponent < kExponentCap) {
            nExponent = nExponent * 10 + (cur.Peek() - '0');
        }
        cur.Next();
    }
    return bNegative ? -nExponent : nExponent;
}

// 0.<digits> * 10^nMagnitude for non-empty digits. The far ends are settled here; whatever is
// left is within reach of from_chars.
double Compose(const std::string& digits, int64_t nMagnitude) {
    if (nMagnitude > 400) {
        return std::numeric_limits<double>::infinity();
    }
    if (nMagnitude < -400) {
        return 0.0;
    }
    const std::string normal = "0." + digits + "e" + std::to_string(nMagnitude);
    double value = 0.0;
    const auto result = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        return nMagnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return result.ec == std::errc() ? value : 0.0;
}

} // namespace

double ReadLenientNumber(std::string_view text, bool bExponent) {
    Cursor cur(text);
    bool bNegative = false;
    if (cur.Peek() == '+' || cur.Peek() == '-') {
        bNegative = cur.Peek() == '-';
        cur.Next();
    }
    const Mantissa m = ReadMantissa(cur);
    if (!m.bAnyDigit) {
        return 0.0;
    }
    const int64_t nExponent = bExponent ? ReadExponent(cur) : 0;
    if (m.digits.empty()) {
        return bNegative ? -0.0 : 0.0;
    }
    // The value lies in [10^(m-1), 10^m) for magnitude m.
    const double value = Compose(m.digits, m.nScale + nExponent);
    return bNegative ? -value : value;
}

double RoundHalfEven(double v) {
    if (!std::isfinite(v)) {
        return v;
    }
    const double lower = std::floor(v);
    const double diff = v - lower;
    if (diff < 0.5) {
        return lower;
    }
    if (diff > 0.5) {
        return lower + 1.0;
    }
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

} // namespace zaplo
