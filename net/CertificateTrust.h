// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zaplo {

// Whether a client takes the certificate a server offers over TLS. Plain strings, no sockets.
//
// - A fingerprint pinned for the session (for scripts) decides alone: that one, or none.
// - Otherwise a certificate the system's store vouches for (chain and name check out) is taken.
// - Otherwise the one remembered for the host decides: the same is taken, any other is refused
//   (Changed), as somebody may stand in between.
// - Otherwise the user is asked, once.
//
// Fingerprints are the SHA-256 of the certificate, written as upper-case hex pairs joined by
// colons ("AB:CD:..."), the form `openssl x509 -fingerprint -sha256` prints.
class CertificateTrust {
public:
    enum class Verdict { Accept, Ask, Changed, NotPinned };

    static constexpr std::size_t kDigestBytes = 32;

    // szText as hex, with or without colons, any case; nullopt unless it is exactly 32 bytes.
    static std::optional<std::string> ReadFingerprint(std::string_view szText);
    // Raw digest bytes in the written form.
    static std::string FormatFingerprint(std::string_view digest);
    // Compares two written fingerprints in time that does not depend on where they differ.
    static bool Same(std::string_view a, std::string_view b);

    // szOffered: the offered certificate's fingerprint; szPinned: empty, or the pinned one;
    // szKnown: the one remembered for the host, if any.
    static Verdict Decide(bool bSystemTrusted, const std::string& szOffered,
                          const std::string& szPinned, const std::optional<std::string>& szKnown);
};

} // namespace zaplo
