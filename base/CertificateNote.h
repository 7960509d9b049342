// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace zaplo {

// What the user is told about a server's certificate that the system's store does not vouch
// for: to accept or refuse it (Ask), or why it was refused (Changed, NotPinned). Fingerprints
// are SHA-256 in upper-case hex pairs joined by colons; texts come from the peer's certificate
// and are shown as plain text only.
struct CertificateNote {
    enum class Kind { Ask, Changed, NotPinned };

    Kind kind = Kind::Ask;
    std::string szHost;        // host and port as the user gave them, "host:port"
    std::string szFingerprint; // the certificate offered now
    std::string szKnown;       // Changed: the one remembered; NotPinned: the one asked for
    std::string szSubject;
    std::string szIssuer;
    std::string szValidity;
    std::string szProblems; // why the system's store does not vouch for it, one per line
    std::string szStore;    // the file accepted certificates are kept in
};

} // namespace zaplo
