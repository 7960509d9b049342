// SPDX-License-Identifier: MIT
#include "web/HttpRequest.h"

#include <algorithm>

namespace zaplo {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view sz) {
    std::string szOut(sz);
    std::transform(szOut.begin(), szOut.end(), szOut.begin(), Lower);
    return szOut;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trimmed(std::string_view sz) {
    while (!sz.empty() && (sz.front() == ' ' || sz.front() == '\t')) {
        sz.remove_prefix(1);
    }
    while (!sz.empty() && (sz.back() == ' ' || sz.back() == '\t')) {
        sz.remove_suffix(1);
    }
    return sz;
}

// A token of the request line or a field name: visible ASCII without separators that matter.
bool IsToken(std::string_view sz) {
    return !sz.empty() && std::all_of(sz.begin(), sz.end(), [](char c) {
        return c > ' ' && c < 127 && c != ':' && c != '(' && c != ')' && c != ',' && c != ';' &&
               c != '"' && c != '/' && c != '[' && c != ']' && c != '?' && c != '=' && c != '{' &&
               c != '}' && c != '\\' && c != '@' && c != '<' && c != '>';
    });
}

bool IsVisible(std::string_view sz) {
    return std::all_of(sz.begin(), sz.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u == '\t' || (u >= ' ' && u != 127);
    });
}

} // namespace

HttpRequest::Status HttpRequest::Read(std::string_view szBytes, HttpRequest& request) {
    const std::size_t nEnd = szBytes.find("\r\n\r\n");
    if (nEnd == std::string_view::npos) {
        return szBytes.size() >= kMaxHead ? Status::TooLarge : Status::Incomplete;
    }
    if (nEnd + 4 > kMaxHead) {
        return Status::TooLarge;
    }
    HttpRequest parsed;
    parsed.nHeadSize_ = nEnd + 4;
    std::string_view szHead = szBytes.substr(0, nEnd + 2);
    // Request line: method SP target SP HTTP/1.x
    const std::size_t nLineEnd = szHead.find("\r\n");
    const std::string_view szLine = szHead.substr(0, nLineEnd);
    szHead.remove_prefix(nLineEnd + 2);
    const std::size_t nSpace1 = szLine.find(' ');
    const std::size_t nSpace2 =
        nSpace1 == std::string_view::npos ? nSpace1 : szLine.find(' ', nSpace1 + 1);
    if (nSpace2 == std::string_view::npos ||
        szLine.find(' ', nSpace2 + 1) != std::string_view::npos) {
        return Status::Malformed;
    }
    const std::string_view szMethod = szLine.substr(0, nSpace1);
    const std::string_view szTarget = szLine.substr(nSpace1 + 1, nSpace2 - nSpace1 - 1);
    const std::string_view szVersion = szLine.substr(nSpace2 + 1);
    if (!IsToken(szMethod) || szTarget.empty() || szTarget.front() != '/' || !IsVisible(szTarget) ||
        szTarget.find_first_of(" \t") != std::string_view::npos ||
        (szVersion != "HTTP/1.1" && szVersion != "HTTP/1.0")) {
        return Status::Malformed;
    }
    parsed.szMethod_ = szMethod;
    parsed.szPath_ = szTarget.substr(0, szTarget.find('?'));
    while (!szHead.empty()) {
        const std::size_t nFieldEnd = szHead.find("\r\n");
        const std::string_view szField = szHead.substr(0, nFieldEnd);
        szHead.remove_prefix(nFieldEnd + 2);
        const std::size_t nColon = szField.find(':');
        if (nColon == std::string_view::npos || !IsToken(szField.substr(0, nColon)) ||
            !IsVisible(szField)) {
            return Status::Malformed;
        }
        if (parsed.fields_.size() >= kMaxFields) {
            return Status::TooLarge;
        }
        parsed.fields_.emplace_back(Lowered(szField.substr(0, nColon)),
                                    std::string(Trimmed(szField.substr(nColon + 1))));
    }
    request = std::move(parsed);
    return Status::Complete;
}

std::optional<std::string> HttpRequest::Field(std::string_view szName) const {
    for (const auto& [szField, szValue] : fields_) {
        if (SameText(szField, szName)) {
            return szValue;
        }
    }
    return std::nullopt;
}

bool HttpRequest::WantsWebSocket() const {
    const std::optional<std::string> szUpgrade = Field("upgrade");
    const std::optional<std::string> szConnection = Field("connection");
    if (!szUpgrade || !SameText(*szUpgrade, "websocket") || !szConnection) {
        return false;
    }
    // Connection is a comma-separated list of options ("keep-alive, Upgrade").
    std::string_view szOptions = *szConnection;
    while (!szOptions.empty()) {
        const std::size_t nComma = szOptions.find(',');
        if (SameText(Trimmed(szOptions.substr(0, nComma)), "upgrade")) {
            return true;
        }
        szOptions.remove_prefix(nComma == std::string_view::npos ? szOptions.size() : nComma + 1);
    }
    return false;
}

bool HttpRequest::SameOrigin(bool bTls) const {
    const std::optional<std::string> szOrigin = Field("origin");
    const std::optional<std::string> szHost = Field("host");
    if (!szOrigin || !szHost || szHost->empty()) {
        return false;
    }
    const std::string szOwn = std::string(bTls ? "https://" : "http://") + *szHost;
    return SameText(*szOrigin, szOwn);
}

} // namespace zaplo
