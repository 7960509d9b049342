// SPDX-License-Identifier: MIT
#include "net/CertificateTrust.h"

namespace zaplo {

namespace {

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<std::string> CertificateTrust::ReadFingerprint(std::string_view szText) {
    std::string digest;
    int nHigh = -1;
    bool bColon = false;
    for (const char ch : szText) {
        if (ch == ':') {
            // Only between two pairs.
            if (nHigh >= 0 || digest.empty() || bColon) {
                return std::nullopt;
            }
            bColon = true;
            continue;
        }
        bColon = false;
        const int n = HexValue(ch);
        if (n < 0 || digest.size() >= kDigestBytes) {
            return std::nullopt;
        }
        if (nHigh < 0) {
            nHigh = n;
        } else {
            digest.push_back(static_cast<char>(nHigh * 16 + n));
            nHigh = -1;
        }
    }
    if (nHigh >= 0 || bColon || digest.size() != kDigestBytes) {
        return std::nullopt;
    }
    return FormatFingerprint(digest);
}

std::string CertificateTrust::FormatFingerprint(std::string_view digest) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string szText;
    szText.reserve(digest.size() * 3);
    for (const char ch : digest) {
        const auto n = static_cast<unsigned char>(ch);
        if (!szText.empty()) {
            szText.push_back(':');
        }
        szText.push_back(kHex[n >> 4]);
        szText.push_back(kHex[n & 15]);
    }
    return szText;
}

bool CertificateTrust::Same(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char nDiffer = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        nDiffer |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return nDiffer == 0;
}

CertificateTrust::Verdict CertificateTrust::Decide(bool bSystemTrusted,
                                                   const std::string& szOffered,
                                                   const std::string& szPinned,
                                                   const std::optional<std::string>& szKnown) {
    if (!szPinned.empty()) {
        return Same(szOffered, szPinned) ? Verdict::Accept : Verdict::NotPinned;
    }
    if (bSystemTrusted) {
        return Verdict::Accept;
    }
    if (szKnown) {
        return Same(szOffered, *szKnown) ? Verdict::Accept : Verdict::Changed;
    }
    return Verdict::Ask;
}

} // namespace zaplo
