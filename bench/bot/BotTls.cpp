// SPDX-License-Identifier: MIT
#include "bench/bot/BotTls.h"

#include <cerrno>

#ifdef ZAPLO_BOT_TLS
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/ssl.h>

namespace {

SSL_CTX* Context() {
    static SSL_CTX* context = [] {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        if (made != nullptr) {
            SSL_CTX_set_verify(made, SSL_VERIFY_NONE, nullptr);
            SSL_CTX_set_mode(made,
                             SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
            // Read what the socket holds in one call, as a fast reader does, instead of a
            // record header and then its body: two system calls per record otherwise.
            SSL_CTX_set_read_ahead(made, 1);
        }
        return made;
    }();
    return context;
}

ssize_t Outcome(SSL* ssl, int nDone) {
    if (nDone > 0) {
        return nDone;
    }
    switch (SSL_get_error(ssl, nDone)) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_SYSCALL:
        if (errno == 0) {
            return 0; // closed without a close_notify
        }
        return -1;
    default:
        ERR_clear_error();
        errno = ECONNRESET;
        return -1;
    }
}

} // namespace

bool BotTls::Available() {
    return Context() != nullptr;
}

ssl_st* BotTls::Handshake(int fd) {
    SSL* ssl = Context() != nullptr ? SSL_new(Context()) : nullptr;
    if (ssl == nullptr || SSL_set_fd(ssl, fd) != 1 || SSL_connect(ssl) != 1) {
        SSL_free(ssl);
        return nullptr;
    }
    return ssl;
}

ssize_t BotTls::Send(ssl_st* ssl, const char* data, size_t n) {
    errno = 0;
    return Outcome(ssl, SSL_write(ssl, data, static_cast<int>(n > 1 << 30 ? 1 << 30 : n)));
}

ssize_t BotTls::Recv(ssl_st* ssl, char* data, size_t n) {
    errno = 0;
    return Outcome(ssl, SSL_read(ssl, data, static_cast<int>(n > 1 << 30 ? 1 << 30 : n)));
}

bool BotTls::Buffered(ssl_st* ssl) {
    return SSL_has_pending(ssl) == 1;
}

std::string BotTls::Answer(const std::string& szPassword, const std::string& szChallenge) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int nMac = 0;
    if (HMAC(EVP_sha256(), szPassword.data(), static_cast<int>(szPassword.size()),
             reinterpret_cast<const unsigned char*>(szChallenge.data()), szChallenge.size(), mac,
             &nMac) == nullptr) {
        return {};
    }
    static const char kHex[] = "0123456789abcdef";
    std::string szHex;
    for (unsigned int i = 0; i < nMac; ++i) {
        szHex += kHex[mac[i] >> 4];
        szHex += kHex[mac[i] & 15];
    }
    return szHex;
}

#else

std::string BotTls::Answer(const std::string&, const std::string&) {
    return {};
}

bool BotTls::Available() {
    return false;
}

ssl_st* BotTls::Handshake(int) {
    return nullptr;
}

ssize_t BotTls::Send(ssl_st*, const char*, size_t) {
    errno = ENOTSUP;
    return -1;
}

ssize_t BotTls::Recv(ssl_st*, char*, size_t) {
    errno = ENOTSUP;
    return -1;
}

bool BotTls::Buffered(ssl_st*) {
    return false;
}

#endif
