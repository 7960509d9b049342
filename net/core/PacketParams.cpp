// SPDX-License-Identifier: MIT
#include "net/core/PacketParams.h"

#include "net/core/PacketHost.h"

namespace zaplo {

std::string GetPacketParam(std::string_view szPacket, int nParam) {
    if (nParam < 1) {
        return {};
    }
    std::size_t start = 0;
    int count = 0;
    for (std::size_t i = 0; i < szPacket.size(); ++i) {
        if (szPacket[i] != ';') {
            continue;
        }
        if (++count == nParam) {
            return std::string(szPacket.substr(start, i - start));
        }
        start = i + 1;
    }
    return {};
}

std::string GetUsersPacket(const PacketHost& host) {
    std::string szData;
    for (const std::string& row : host.UserRows()) {
        szData += row;
        szData += ';';
    }
    return szData;
}

void ExtractUsersPacket(std::string_view szData, PacketHost& host, int16_t iSlot) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < szData.size(); ++i) {
        if (szData[i] == ';') {
            host.AddUsername(std::string(szData.substr(start, i - start)), iSlot);
            start = i + 1;
        }
    }
}

} // namespace zaplo
