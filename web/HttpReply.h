// SPDX-License-Identifier: MIT
#pragma once

#include <string>
#include <string_view>

namespace zaplo {

// The answers of the web port, as bytes: the page's resources and short status answers. Every
// answer carries the same security headers (the page runs only its own script and style,
// connects only to its own origin, is never framed and never cached) and closes the
// connection. Plain bytes, no sockets.
class HttpReply {
public:
    static constexpr std::string_view kContentSecurityPolicy =
        "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
        "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

    // 200 with szBody of type szType; with bHead (a HEAD request) the headers only.
    static std::string Resource(std::string_view szType, std::string_view szBody, bool bHead);
    // An answer without content worth showing: 400, 403, 404, 408, 431 or 503, with its reason
    // as a plain-text body.
    static std::string Status(int nCode);
    // The reason phrase of nCode ("Not Found"); "Error" for a code not listed above.
    static std::string_view Reason(int nCode);

private:
    static std::string Head(int nCode, std::string_view szType, std::size_t nLength);
};

} // namespace zaplo
