// SPDX-License-Identifier: MIT
#include "net/AddressPrefix.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace zaplo {

namespace {

void ClearBelow(uint8_t* bytes, std::size_t nBytes, int nBits) {
    for (std::size_t i = 0; i < nBytes; ++i) {
        const int nKeep = std::clamp(nBits - static_cast<int>(i) * 8, 0, 8);
        bytes[i] &= static_cast<uint8_t>(0xFF00U >> nKeep);
    }
}

bool SameUpTo(const uint8_t* a, const uint8_t* b, int nBits) {
    const auto nWhole = static_cast<std::size_t>(nBits / 8);
    if (std::memcmp(a, b, nWhole) != 0) {
        return false;
    }
    const int nRest = nBits % 8;
    if (nRest == 0) {
        return true;
    }
    const auto mask = static_cast<uint8_t>(0xFF00U >> nRest);
    return (a[nWhole] & mask) == (b[nWhole] & mask);
}

} // namespace

AddressPrefix::AddressPrefix(bool bV6, const uint8_t* bytes, int nBits) : bV6_(bV6), nBits_(nBits) {
    const std::size_t nBytes = bV6 ? 8 : 4;
    std::memcpy(bytes_, bytes, nBytes);
    ClearBelow(bytes_, nBytes, nBits_);
}

std::optional<AddressPrefix> AddressPrefix::Parse(std::string_view szText) {
    const std::size_t slash = szText.find('/');
    const std::string szAddress(szText.substr(0, slash));
    std::optional<int> nGiven;
    if (slash != std::string_view::npos) {
        const std::string_view szBits = szText.substr(slash + 1);
        int nBits = -1;
        const auto [end, error] =
            std::from_chars(szBits.data(), szBits.data() + szBits.size(), nBits);
        if (szBits.empty() || szBits.size() > 3 || error != std::errc() ||
            end != szBits.data() + szBits.size()) {
            return std::nullopt;
        }
        nGiven = nBits;
    }
    uint8_t v4[4];
    if (::inet_pton(AF_INET, szAddress.c_str(), v4) == 1) {
        const int nBits = nGiven.value_or(32);
        if (nBits < 0 || nBits > 32) {
            return std::nullopt;
        }
        return AddressPrefix(false, v4, nBits);
    }
    uint8_t v6[16];
    if (::inet_pton(AF_INET6, szAddress.c_str(), v6) != 1) {
        return std::nullopt;
    }
    const int nBits = nGiven.value_or(128);
    if (nBits < 0 || nBits > 128) {
        return std::nullopt;
    }
    static constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(v6, kMapped, sizeof kMapped) == 0 && nBits >= 96) {
        return AddressPrefix(false, v6 + 12, nBits - 96);
    }
    return AddressPrefix(true, v6, std::min(nBits, kV6KeyBits));
}

std::optional<AddressPrefix> AddressPrefix::FromKey(std::string_view szKey) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(szKey.data());
    if (szKey.size() == 4) {
        return AddressPrefix(false, bytes, 32);
    }
    if (szKey.size() == 8) {
        return AddressPrefix(true, bytes, kV6KeyBits);
    }
    return std::nullopt;
}

std::string AddressPrefix::Text() const {
    char szAddress[INET6_ADDRSTRLEN] = {};
    if (bV6_) {
        uint8_t whole[16] = {};
        std::memcpy(whole, bytes_, 8);
        ::inet_ntop(AF_INET6, whole, szAddress, sizeof szAddress);
    } else {
        ::inet_ntop(AF_INET, bytes_, szAddress, sizeof szAddress);
        if (nBits_ == 32) {
            return szAddress;
        }
    }
    return std::string(szAddress) + "/" + std::to_string(nBits_);
}

bool AddressPrefix::Matches(std::string_view szKey) const {
    if (szKey.size() != (bV6_ ? 8U : 4U)) {
        return false;
    }
    return SameUpTo(bytes_, reinterpret_cast<const uint8_t*>(szKey.data()), nBits_);
}

std::string AddressPrefix::KeyText(std::string_view szKey) {
    const std::optional<AddressPrefix> prefix = AddressPrefix::FromKey(szKey);
    return prefix ? prefix->Text() : std::string();
}

} // namespace zaplo
