// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zaplo {

class PacketHost;

// Field nParam (from 1) of a parameter list "f1;f2;...;": a field counts only when a ";"
// follows it, so the text after the last ";" is never returned. No such field, or nParam < 1,
// gives the empty text. Payloads of any length work; positions are not limited to 16 bits.
std::string GetPacketParam(std::string_view szPacket, int nParam);

// The user-list payload: every row of the host's user list in order, each followed by ";".
std::string GetUsersPacket(const PacketHost& host);

// Appends one row per ";"-ended entry of szData (empty entries included, text after the last
// ";" ignored), each with slot iSlot. Does not empty the list first.
void ExtractUsersPacket(std::string_view szData, PacketHost& host, int16_t iSlot);

} // namespace zaplo
