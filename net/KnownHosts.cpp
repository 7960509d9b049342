// SPDX-License-Identifier: MIT
#include "net/KnownHosts.h"

#include "net/CertificateTrust.h"

namespace zaplo {

namespace {

bool Printable(std::string_view szText) {
    for (const char ch : szText) {
        if (static_cast<unsigned char>(ch) <= ' ' || ch == 127) {
            return false;
        }
    }
    return !szText.empty();
}

} // namespace

KnownHosts KnownHosts::Parse(std::string_view szText) {
    KnownHosts known;
    while (!szText.empty()) {
        const std::size_t nEnd = szText.find('\n');
        std::string_view szLine = szText.substr(0, nEnd);
        szText.remove_prefix(nEnd == std::string_view::npos ? szText.size() : nEnd + 1);
        if (!szLine.empty() && szLine.back() == '\r') {
            szLine.remove_suffix(1);
        }
        const std::size_t nSpace = szLine.find(' ');
        if (szLine.size() > kMaxLine || nSpace == std::string_view::npos) {
            continue;
        }
        const std::optional<std::string> szPrint =
            CertificateTrust::ReadFingerprint(szLine.substr(nSpace + 1));
        if (szPrint && known.hosts_.size() < kMaxHosts) {
            known.Set(std::string(szLine.substr(0, nSpace)), *szPrint);
        }
    }
    return known;
}

std::string KnownHosts::Text() const {
    std::string szText;
    for (const auto& [szHost, szPrint] : hosts_) {
        szText += szHost + ' ' + szPrint + '\n';
    }
    return szText;
}

std::optional<std::string> KnownHosts::Find(const std::string& szHost) const {
    const auto it = hosts_.find(szHost);
    if (it == hosts_.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool KnownHosts::Set(const std::string& szHost, const std::string& szFingerprint) {
    if (!Printable(szHost) || szHost.size() > kMaxLine / 2 ||
        (hosts_.size() >= kMaxHosts && hosts_.count(szHost) == 0)) {
        return false;
    }
    hosts_[szHost] = szFingerprint;
    return true;
}

std::string KnownHosts::Key(const std::string& szHost, int nPort) {
    const bool bIpv6 = szHost.find(':') != std::string::npos;
    return (bIpv6 ? "[" + szHost + "]" : szHost) + ":" + std::to_string(nPort);
}

} // namespace zaplo
