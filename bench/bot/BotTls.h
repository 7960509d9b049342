// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

struct ssl_st;

// TLS for the bots, on OpenSSL: one client context for every connection, no check of the
// server's certificate (the bench measures what the encryption costs, not trust). The calls
// behave like send and recv on a non-blocking socket: bytes done, 0 when the peer has closed,
// or -1 with errno (EAGAIN when it would block, in either direction).
namespace BotTls {

// False when the bot was built without OpenSSL.
bool Available();
// A TLS session on the connected, still blocking socket fd, its handshake done; nullptr when
// it failed.
ssl_st* Handshake(int fd);
ssize_t Send(ssl_st* ssl, const char* data, size_t n);
ssize_t Recv(ssl_st* ssl, char* data, size_t n);
// Whether the session holds bytes read from the socket that Recv has not returned yet.
bool Buffered(ssl_st* ssl);
// The answer to a protected session's challenge: the 64 hex digits of HMAC-SHA-256 with the
// password as key; empty without OpenSSL.
std::string Answer(const std::string& szPassword, const std::string& szChallenge);

} // namespace BotTls
