// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

class QSslConfiguration;

typedef struct ssl_ctx_st SSL_CTX;

namespace zaplo {

// The server's TLS setup on the TLS library itself: its certificate, the chain and the key, taken
// from the configuration ServerTls loaded. Accepted connections run their TLS on this directly
// (TlsServerSession) rather than through Qt's TLS socket: every relayed record is encrypted once
// per receiver, and Qt's socket spends about as much again around each encrypted write as the
// library itself. Shared by every connection of a session; it outlives them.
class TlsServerContext {
public:
    // Nullptr, with szError set, when the library refuses the certificate or the key.
    static std::shared_ptr<const TlsServerContext> Create(const QSslConfiguration& config,
                                                          std::string& szError);
    ~TlsServerContext();
    TlsServerContext(const TlsServerContext&) = delete;
    TlsServerContext& operator=(const TlsServerContext&) = delete;

    SSL_CTX* Handle() const { return ctx_; }

private:
    explicit TlsServerContext(SSL_CTX* ctx) : ctx_(ctx) {}

    SSL_CTX* ctx_;
};

} // namespace zaplo
