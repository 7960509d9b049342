// SPDX-License-Identifier: MIT
// The web port's plain parts: reading a request's head, the answers' bytes, and the registry of
// bridged connections.
#include "net/BridgeRegistry.h"
#include "web/HttpReply.h"
#include "web/HttpRequest.h"

#include <gtest/gtest.h>

#include <string>

using zaplo::BridgeRegistry;
using zaplo::HttpReply;
using zaplo::HttpRequest;
using Status = HttpRequest::Status;

namespace {

const std::string kUpgrade = "GET /ws?x=1 HTTP/1.1\r\n"
                             "Host: 192.0.2.7:8080\r\n"
                             "Connection: keep-alive, Upgrade\r\n"
                             "Upgrade: WebSocket\r\n"
                             "Origin: http://192.0.2.7:8080\r\n"
                             "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                             "Sec-WebSocket-Version: 13\r\n\r\n";

// Reads "GET /ws" with the given fields; the head must be complete.
HttpRequest Head(const std::string& szFields) {
    HttpRequest request;
    EXPECT_EQ(HttpRequest::Read("GET /ws HTTP/1.1\r\n" + szFields + "\r\n", request),
              Status::Complete)
        << szFields;
    return request;
}

// Fields X-0 .. X-(n-1).
std::string Fields(std::size_t n) {
    std::string szFields;
    for (std::size_t i = 0; i < n; ++i) {
        szFields += "X-" + std::to_string(i) + ": 1\r\n";
    }
    return szFields;
}

} // namespace

TEST(HttpRequest, AWebSocketRequestFromThePagesOwnOrigin) {
    HttpRequest request;
    ASSERT_EQ(HttpRequest::Read(kUpgrade + "frame bytes", request), Status::Complete);
    EXPECT_EQ(request.Path(), "/ws");
    EXPECT_EQ(request.HeadSize(), kUpgrade.size());
    EXPECT_EQ(request.Field("HOST"), "192.0.2.7:8080");
    EXPECT_FALSE(request.Field("cookie"));
    EXPECT_TRUE(request.WantsWebSocket());
    EXPECT_TRUE(request.SameOrigin(false));
    // Over TLS the page's origin is https://.
    EXPECT_FALSE(request.SameOrigin(true));
}

TEST(HttpRequest, OtherOriginsMissingFieldsAndHalfUpgradesAreRefused) {
    for (const char* szFields :
         {"Host: 192.0.2.7:8080\r\nOrigin: http://evil.example\r\n",
          "Host: 192.0.2.7:8080\r\nOrigin: http://192.0.2.7:8081\r\n",
          "Host: 192.0.2.7:8080\r\nOrigin: http://192.0.2.7:8080.evil.example\r\n",
          "Host: 192.0.2.7:8080\r\nOrigin: null\r\n", "Host: 192.0.2.7:8080\r\n",
          "Origin: http://\r\n", "Host:\r\nOrigin: http://\r\n"}) {
        EXPECT_FALSE(Head(szFields).SameOrigin(false)) << szFields;
    }
    EXPECT_TRUE(Head("Host: Example.ORG\r\nOrigin: HTTPS://example.org\r\n").SameOrigin(true));
    // An upgrade needs both fields with the right words.
    for (const char* szFields : {"Upgrade: websocket\r\n", "Connection: Upgrade\r\n",
                                 "Upgrade: h2c\r\nConnection: Upgrade\r\n",
                                 "Upgrade: websocket\r\nConnection: keep-alive\r\n",
                                 "Upgrade: websocket\r\nConnection: upgraded\r\n"}) {
        EXPECT_FALSE(Head(szFields).WantsWebSocket()) << szFields;
    }
}

TEST(HttpRequest, IncompleteUntilTheBlankLineAndBoundedWhatever) {
    HttpRequest request;
    EXPECT_EQ(HttpRequest::Read("", request), Status::Incomplete);
    EXPECT_EQ(HttpRequest::Read(kUpgrade.substr(0, kUpgrade.size() - 2), request),
              Status::Incomplete);
    // A head that has not ended within the bound never will be taken.
    const std::string szLong =
        "GET / HTTP/1.1\r\nX-Pad: " + std::string(HttpRequest::kMaxHead, 'a');
    EXPECT_EQ(HttpRequest::Read(szLong, request), Status::TooLarge);
    EXPECT_EQ(HttpRequest::Read(szLong + "\r\n\r\n", request), Status::TooLarge);
    const std::string szGet = "GET / HTTP/1.1\r\n";
    EXPECT_EQ(HttpRequest::Read(szGet + Fields(HttpRequest::kMaxFields + 1) + "\r\n", request),
              Status::TooLarge);
    // Just under both bounds is fine.
    EXPECT_EQ(HttpRequest::Read(szGet + Fields(HttpRequest::kMaxFields) + "\r\n", request),
              Status::Complete);
}

TEST(HttpRequest, MalformedHeadsAreRefused) {
    for (const char* szHead :
         {"\r\n\r\n", "GET /\r\n\r\n", "GET  / HTTP/1.1\r\n\r\n", "GET / HTTP/1.1 x\r\n\r\n",
          "GET http://x/ HTTP/1.1\r\n\r\n", "GET / HTTP/2\r\n\r\n", "G(T / HTTP/1.1\r\n\r\n",
          "GET / HTTP/1.1\r\nNoColon\r\n\r\n", "GET / HTTP/1.1\r\nBad Name: x\r\n\r\n",
          "GET / HTTP/1.1\r\nX: a\nb\r\n\r\n", "GET / HTTP/1.1\r\nX: a\x01\r\n\r\n",
          "GET /\x7f HTTP/1.1\r\n\r\n"}) {
        HttpRequest request;
        EXPECT_EQ(HttpRequest::Read(szHead, request), Status::Malformed) << szHead;
    }
}

TEST(HttpReply, EveryAnswerCarriesTheSecurityHeadersAndCloses) {
    const std::string szPage = HttpReply::Resource("text/html; charset=utf-8", "<p>x</p>", false);
    const std::string szHead = HttpReply::Resource("text/html; charset=utf-8", "<p>x</p>", true);
    const std::string szMissing = HttpReply::Status(404);
    EXPECT_EQ(szPage.rfind("HTTP/1.1 200 OK\r\n", 0), 0U);
    EXPECT_TRUE(szPage.ends_with("\r\n\r\n<p>x</p>"));
    EXPECT_TRUE(szHead.ends_with("\r\n\r\n"));
    EXPECT_NE(szHead.find("Content-Length: 8\r\n"), std::string::npos);
    EXPECT_EQ(szMissing.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0U);
    EXPECT_TRUE(szMissing.ends_with("\r\n\r\nNot Found\n"));
    for (const std::string& szReply : {szPage, szHead, szMissing, HttpReply::Status(403)}) {
        for (const char* szField :
             {"\r\nContent-Security-Policy: default-src 'none'; script-src 'self'; style-src "
              "'self'; img-src 'self' data:; connect-src 'self'; base-uri 'none'; form-action "
              "'none'; frame-ancestors 'none'\r\n",
              "\r\nX-Content-Type-Options: nosniff\r\n", "\r\nReferrer-Policy: no-referrer\r\n",
              "\r\nX-Frame-Options: DENY\r\n", "\r\nCache-Control: no-store\r\n",
              "\r\nConnection: close\r\n"}) {
            EXPECT_NE(szReply.find(szField), std::string::npos) << szReply << szField;
        }
    }
    EXPECT_EQ(HttpReply::Reason(431), "Request Header Fields Too Large");
    EXPECT_EQ(HttpReply::Reason(999), "Error");
}

TEST(BridgeRegistry, PortsMapToTheBrowsersAddressWhileTheBridgeLasts) {
    BridgeRegistry bridges;
    const std::string szBrowser("\xc0\x00\x02\x07", 4);
    const std::string szOther("\x20\x01\x0d\xb8\x00\x01\x00\x02", 8);
    EXPECT_FALSE(bridges.KeyOf(40000));
    EXPECT_TRUE(bridges.Add(40000, szBrowser));
    EXPECT_TRUE(bridges.Add(40001, szOther));
    EXPECT_EQ(bridges.KeyOf(40000), szBrowser);
    EXPECT_EQ(bridges.KeyOf(40001), szOther);
    EXPECT_FALSE(bridges.KeyOf(40002));
    // A port is one bridge's: a second claim changes nothing.
    EXPECT_FALSE(bridges.Add(40000, szOther));
    EXPECT_EQ(bridges.KeyOf(40000), szBrowser);
    // No port, no key: never an entry.
    EXPECT_FALSE(bridges.Add(0, szBrowser));
    EXPECT_FALSE(bridges.KeyOf(0));
    EXPECT_FALSE(bridges.Add(40003, ""));
    EXPECT_EQ(bridges.Size(), 2U);
    bridges.Remove(40000);
    bridges.Remove(40009);
    EXPECT_FALSE(bridges.KeyOf(40000));
    EXPECT_EQ(bridges.KeyOf(40001), szOther);
    EXPECT_TRUE(bridges.Add(40000, szOther));
    EXPECT_EQ(bridges.KeyOf(40000), szOther);
}
