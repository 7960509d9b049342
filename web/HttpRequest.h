// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zaplo {

// The head of one HTTP/1.1 request from a browser (request line and header fields), read from
// the bytes received so far. Bounded: a head longer than kMaxHead or with more than kMaxFields
// fields is refused, whatever follows. Plain bytes, no sockets.
class HttpRequest {
public:
    // A browser's request for a page or a WebSocket is well under 2 KB.
    static constexpr std::size_t kMaxHead = 8 * 1024;
    static constexpr std::size_t kMaxFields = 64;

    enum class Status { Incomplete, Complete, TooLarge, Malformed };

    // Reads the head from szBytes (what has arrived, from the first byte on). Complete fills
    // request; Incomplete means the blank line that ends the head has not come yet.
    static Status Read(std::string_view szBytes, HttpRequest& request);

    const std::string& Method() const { return szMethod_; }
    // The target's path, without a query.
    const std::string& Path() const { return szPath_; }
    // Bytes of the head, its blank line included.
    std::size_t HeadSize() const { return nHeadSize_; }
    // A header field's value (names compared without case, surrounding blanks removed); the
    // first one when it is given twice. None when it is missing.
    std::optional<std::string> Field(std::string_view szName) const;
    // Asks to become a WebSocket: "Upgrade: websocket" and "upgrade" among the Connection
    // options.
    bool WantsWebSocket() const;
    // The Origin field names the page's own origin: scheme (https when bTls) "://" Host field.
    // False when either field is missing.
    bool SameOrigin(bool bTls) const;

private:
    std::string szMethod_;
    std::string szPath_;
    std::vector<std::pair<std::string, std::string>> fields_; // names in lower case
    std::size_t nHeadSize_ = 0;
};

} // namespace zaplo
