// SPDX-License-Identifier: MIT
#include "bench/boxes/LineText.h"

std::string Unbreakable(std::size_t n) {
    return std::string(n, 'W');
}

std::string Repeat(const std::string& unit, std::size_t nBytes) {
    std::string s;
    while (s.size() + unit.size() <= nBytes) {
        s += unit;
    }
    return s;
}

std::string Words(std::size_t nBytes) {
    return Repeat("lorem ipsum dolor sit amet ", nBytes);
}
