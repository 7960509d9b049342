// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zaplo {

// The server certificates the user has accepted, by host: the one thing the program keeps on
// disk, and only once the user accepts a certificate. One line per host, "host:port
// FINGERPRINT" (the SHA-256 in CertificateTrust's form); other lines are ignored. Plain text
// in, plain text out: the file itself is the caller's.
class KnownHosts {
public:
    // Bounds on what is read back, in case the file was made by something else.
    static constexpr std::size_t kMaxLine = 1024;
    static constexpr std::size_t kMaxHosts = 10000;

    static KnownHosts Parse(std::string_view szText);
    std::string Text() const;

    std::optional<std::string> Find(const std::string& szHost) const;
    // Remembers szFingerprint for szHost (replacing an earlier one); false when szHost cannot be
    // written on one line or the store is full.
    bool Set(const std::string& szHost, const std::string& szFingerprint);
    std::size_t Size() const { return hosts_.size(); }

    // "host:port" as the user gave them (IPv6 addresses in brackets).
    static std::string Key(const std::string& szHost, int nPort);

private:
    std::map<std::string, std::string> hosts_;
};

} // namespace zaplo
