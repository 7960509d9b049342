// SPDX-License-Identifier: MIT
#include "web/HttpReply.h"

namespace zaplo {

std::string_view HttpReply::Reason(int nCode) {
    switch (nCode) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 408:
        return "Request Timeout";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

std::string HttpReply::Head(int nCode, std::string_view szType, std::size_t nLength) {
    std::string szHead =
        "HTTP/1.1 " + std::to_string(nCode) + " " + std::string(Reason(nCode)) + "\r\n";
    szHead += "Content-Type: ";
    szHead += szType;
    szHead += "\r\nContent-Length: " + std::to_string(nLength) + "\r\n";
    szHead += "Content-Security-Policy: ";
    szHead += kContentSecurityPolicy;
    szHead += "\r\n"
              "X-Content-Type-Options: nosniff\r\n"
              "Referrer-Policy: no-referrer\r\n"
              "X-Frame-Options: DENY\r\n"
              "Cache-Control: no-store\r\n"
              "Connection: close\r\n"
              "\r\n";
    return szHead;
}

std::string HttpReply::Resource(std::string_view szType, std::string_view szBody, bool bHead) {
    std::string szReply = Head(200, szType, szBody.size());
    if (!bHead) {
        szReply += szBody;
    }
    return szReply;
}

std::string HttpReply::Status(int nCode) {
    const std::string szBody = std::string(Reason(nCode)) + "\n";
    return Head(nCode, "text/plain; charset=utf-8", szBody.size()) + szBody;
}

} // namespace zaplo
