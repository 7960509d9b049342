// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

typedef struct ssl_st SSL;
typedef struct bio_st BIO;

namespace zaplo {

class TlsServerContext;

// The server's end of one TLS connection, over bytes alone: what the peer sent goes in with Feed,
// the handshake and the decrypted stream come out of Advance, plain text goes in with Encrypt,
// and whatever is to go to the peer (handshake answers, records, alerts) comes out of
// TakeOutgoing. No socket is touched here, so the owner keeps its own bounds and flow control.
class TlsServerSession {
public:
    enum class Phase { Handshaking, Open, Closed, Failed };

    // Most ciphertext held undecrypted: the largest record TLS allows (16 KB of text, 2 KB of
    // expansion and the header) fits whole, or it could never be decrypted.
    static constexpr std::size_t kMaxBuffered = 20 * 1024;

    explicit TlsServerSession(std::shared_ptr<const TlsServerContext> context);
    ~TlsServerSession();
    TlsServerSession(const TlsServerSession&) = delete;
    TlsServerSession& operator=(const TlsServerSession&) = delete;

    // How much ciphertext Feed takes now (what keeps Buffered within kMaxBuffered).
    std::size_t Room() const;
    // Takes at most Room() bytes of what the peer sent; returns how many it took.
    std::size_t Feed(std::string_view szCipher);
    // Ciphertext fed and not yet decrypted.
    std::size_t Buffered() const;
    // Goes on with the handshake, then appends decrypted bytes to szPlain until it holds nMax or
    // nothing more can be decrypted. A peer's close (close_notify) is Closed; anything the
    // library refuses is Failed, with an alert to send.
    Phase Advance(std::string& szPlain, std::size_t nMax);
    // Encrypts the whole text for the peer; false unless Open.
    bool Encrypt(std::string_view szPlain);
    // Tells the peer the connection ends (close_notify), if it is open.
    void Shutdown();
    // Appends the bytes that are to go to the peer to szOut; returns how many.
    std::size_t TakeOutgoing(std::string& szOut);
    std::size_t Outgoing() const { return szOut_.size(); }

    Phase GetPhase() const { return phase_; }
    // Why it failed, from the library.
    const std::string& Error() const { return szError_; }

private:
    void Fail(int nResult);

    std::shared_ptr<const TlsServerContext> context_;
    SSL* ssl_ = nullptr;
    // Owned by ssl_. The output BIO appends to szOut_.
    BIO* in_ = nullptr;
    BIO* out_ = nullptr;
    std::string szOut_;
    Phase phase_ = Phase::Handshaking;
    std::string szError_;
};

} // namespace zaplo
