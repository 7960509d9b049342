// SPDX-License-Identifier: MIT
#pragma once
// What the box bench's lines hold.
#include <cstddef>
#include <string>

constexpr std::size_t kMaxLine = 256 * 1024; // the receive buffer's line bound

// n characters without a break opportunity.
std::string Unbreakable(std::size_t n);
// unit repeated while it fits in nBytes.
std::string Repeat(const std::string& unit, std::size_t nBytes);
// Words and spaces, nBytes at most.
std::string Words(std::size_t nBytes);
