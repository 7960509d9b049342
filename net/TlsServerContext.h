// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

class QSslConfiguration;

typedef struct ssl_ctx_st SSL_CTX;
typedef struct bio_method_st BIO_METHOD;

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
    // The output that sessions write their records and handshake answers through: it appends
    // them to the std::string that is the BIO's data, so they leave the library with one copy
    // and no buffer of its own to grow, clear and read back.
    const BIO_METHOD* AppendMethod() const { return append_; }

private:
    TlsServerContext(SSL_CTX* ctx, BIO_METHOD* append) : ctx_(ctx), append_(append) {}

    SSL_CTX* ctx_;
    BIO_METHOD* append_;
};

} // namespace zaplo
