// SPDX-License-Identifier: MIT
#include "net/TlsServerSession.h"

#include "net/TlsServerContext.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <algorithm>
#include <utility>

namespace zaplo {

namespace {

// Decrypted in steps of up to one record.
constexpr std::size_t kReadStep = 16 * 1024;

} // namespace

TlsServerSession::TlsServerSession(std::shared_ptr<const TlsServerContext> context)
    : context_(std::move(context)) {
    ssl_ = SSL_new(context_->Handle());
    in_ = BIO_new(BIO_s_mem());
    out_ = BIO_new(context_->AppendMethod());
    if (out_ != nullptr) {
        BIO_set_data(out_, &szOut_);
    }
    if (ssl_ == nullptr || in_ == nullptr || out_ == nullptr) {
        BIO_free(in_);
        BIO_free(out_);
        in_ = out_ = nullptr;
        szError_ = "cannot set up TLS for the connection";
        phase_ = Phase::Failed;
        return;
    }
    // An empty input is "try again later", not the end of the stream.
    BIO_set_mem_eof_return(in_, -1);
    SSL_set_bio(ssl_, in_, out_);
    SSL_set_accept_state(ssl_);
}

TlsServerSession::~TlsServerSession() {
    SSL_free(ssl_);
}

std::size_t TlsServerSession::Buffered() const {
    return in_ != nullptr ? BIO_ctrl_pending(in_) : 0;
}

std::size_t TlsServerSession::Room() const {
    if (phase_ == Phase::Closed || phase_ == Phase::Failed) {
        return 0;
    }
    return kMaxBuffered - std::min(kMaxBuffered, Buffered());
}

std::size_t TlsServerSession::Feed(std::string_view szCipher) {
    const std::size_t nTake = std::min(szCipher.size(), Room());
    if (nTake == 0) {
        return 0;
    }
    const int nWritten = BIO_write(in_, szCipher.data(), static_cast<int>(nTake));
    return nWritten > 0 ? static_cast<std::size_t>(nWritten) : 0;
}

TlsServerSession::Phase TlsServerSession::Advance(std::string& szPlain, std::size_t nMax) {
    if (phase_ == Phase::Handshaking) {
        const int nResult = SSL_do_handshake(ssl_);
        if (nResult == 1) {
            phase_ = Phase::Open;
        } else {
            Fail(nResult);
            if (phase_ == Phase::Closed) {
                szError_ = "the peer ended the handshake";
                phase_ = Phase::Failed;
            }
            if (phase_ != Phase::Open) {
                return phase_;
            }
        }
    }
    char step[kReadStep];
    while (phase_ == Phase::Open && szPlain.size() < nMax) {
        std::size_t nRead = 0;
        const int nResult =
            SSL_read_ex(ssl_, step, std::min(kReadStep, nMax - szPlain.size()), &nRead);
        if (nResult != 1) {
            Fail(nResult);
            break;
        }
        szPlain.append(step, nRead);
    }
    return phase_;
}

void TlsServerSession::Fail(int nResult) {
    const int nError = SSL_get_error(ssl_, nResult);
    if (nError == SSL_ERROR_WANT_READ || nError == SSL_ERROR_WANT_WRITE) {
        ERR_clear_error();
        return; // more is needed from the peer
    }
    if (nError == SSL_ERROR_ZERO_RETURN) {
        phase_ = Phase::Closed;
        ERR_clear_error();
        return;
    }
    const unsigned long lCode = ERR_get_error();
    ERR_clear_error();
    char szReason[256] = "the TLS library refused what the peer sent";
    if (lCode != 0) {
        ERR_error_string_n(lCode, szReason, sizeof szReason);
    }
    szError_ = szReason;
    phase_ = Phase::Failed;
}

bool TlsServerSession::Encrypt(std::string_view szPlain) {
    if (phase_ != Phase::Open) {
        return false;
    }
    if (szPlain.empty()) {
        return true;
    }
    std::size_t nWritten = 0;
    // The output is memory, so the library takes everything at once.
    if (SSL_write_ex(ssl_, szPlain.data(), szPlain.size(), &nWritten) != 1 ||
        nWritten != szPlain.size()) {
        Fail(0);
        return false;
    }
    return true;
}

void TlsServerSession::Shutdown() {
    if (phase_ == Phase::Open) {
        SSL_shutdown(ssl_);
        ERR_clear_error();
        phase_ = Phase::Closed;
    }
}

std::size_t TlsServerSession::TakeOutgoing(std::string& szOut) {
    const std::size_t nBytes = szOut_.size();
    if (szOut.empty()) {
        // The two buffers trade places, and each keeps its capacity for the next record.
        szOut.swap(szOut_);
    } else {
        szOut.append(szOut_);
    }
    szOut_.clear();
    return nBytes;
}

} // namespace zaplo
