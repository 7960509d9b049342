// SPDX-License-Identifier: MIT
#include "net/core/StartValues.h"

#include "net/core/PacketProc.h"

#include <algorithm>

namespace zaplo {

namespace {

bool HasControl(std::string_view szText) {
    return std::any_of(szText.begin(), szText.end(), [](char ch) {
        const auto byte = static_cast<unsigned char>(ch);
        return byte < 0x20U || byte == 0x7FU;
    });
}

} // namespace

std::optional<int16_t> StartValues::ReadPort(std::string_view szText, std::string& szError) {
    // At most five digits, so the value cannot overflow before it is compared.
    const bool bDigits =
        !szText.empty() && szText.size() <= 5 &&
        std::all_of(szText.begin(), szText.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
    int nPort = 0;
    for (const char ch : bDigits ? szText : std::string_view()) {
        nPort = nPort * 10 + (ch - '0');
    }
    if (!bDigits || nPort < 1 || nPort > 32767) {
        szError = "the port must be a whole number from 1 to 32767";
        return std::nullopt;
    }
    return static_cast<int16_t>(nPort);
}

std::optional<std::string> StartValues::ReadNick(std::string_view szText, std::string& szError) {
    if (szText.find_first_of("\r\n") != std::string_view::npos) {
        szError = "the nickname must not hold a line break";
        return std::nullopt;
    }
    if (!NicknameFits(szText)) {
        szError = "the nickname must be at most " + std::to_string(kMaxNickChars) + " characters";
        return std::nullopt;
    }
    return std::string(szText);
}

std::optional<StartValues::Address> StartValues::ReadAddress(std::string_view szText,
                                                             std::string& szError) {
    std::string_view szHost = szText;
    std::string_view szPort;
    bool bPort = false;
    if (szText.starts_with('[')) {
        const std::size_t close = szText.find(']');
        const std::string_view rest =
            close == std::string_view::npos ? std::string_view() : szText.substr(close + 1);
        if (close == std::string_view::npos || (!rest.empty() && !rest.starts_with(':'))) {
            szError = "the address must be [IPV6] or [IPV6]:PORT";
            return std::nullopt;
        }
        szHost = szText.substr(1, close - 1);
        bPort = !rest.empty();
        szPort = rest.substr(bPort ? 1 : 0);
    } else if (const std::size_t colon = szText.find(':');
               colon != std::string_view::npos &&
               szText.find(':', colon + 1) == std::string::npos) {
        szHost = szText.substr(0, colon);
        szPort = szText.substr(colon + 1);
        bPort = true;
    }
    if (szHost.empty()) {
        szError = "the address names no host";
        return std::nullopt;
    }
    if (szHost.size() > kMaxHost || HasControl(szHost) ||
        szHost.find(' ') != std::string_view::npos) {
        szError = "the host must be a name or address of at most " + std::to_string(kMaxHost) +
                  " characters without blanks";
        return std::nullopt;
    }
    Address address{std::string(szHost), kDefaultPort};
    if (bPort) {
        const std::optional<int16_t> nPort = ReadPort(szPort, szError);
        if (!nPort) {
            return std::nullopt;
        }
        address.nPort = *nPort;
    }
    return address;
}

} // namespace zaplo
