// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zaplo {

// The checks the connection dialog makes, for settings that come from a command line or a
// service's environment instead of its boxes. Each reader gives the value, or nothing and a
// one-line reason in szError.
class StartValues {
public:
    // The dialog's defaults.
    static constexpr int16_t kDefaultPort = 201;
    static constexpr std::string_view kDefaultServer = "127.0.0.1";
    // Longest host name or address taken (the longest DNS name is 253 characters).
    static constexpr std::size_t kMaxHost = 253;

    struct Address {
        std::string szHost;
        int16_t nPort = kDefaultPort;
    };

    // A port a server can listen on and a client can reach: plain decimal digits, 1 to 32767
    // (the program keeps ports in 16 bits, so 32768 and above cannot be held).
    static std::optional<int16_t> ReadPort(std::string_view szText, std::string& szError);
    // A nickname the nickname box could hold: at most 16 characters and no line break (a line
    // break would end the join message early). May be empty, as in the dialog.
    static std::optional<std::string> ReadNick(std::string_view szText, std::string& szError);
    // HOST, HOST:PORT, [IPV6] or [IPV6]:PORT; a bare IPv6 address (more than one colon) is a
    // host without a port. The port defaults to 201.
    static std::optional<Address> ReadAddress(std::string_view szText, std::string& szError);
};

} // namespace zaplo
