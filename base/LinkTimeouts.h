// SPDX-License-Identifier: MIT
#pragma once

namespace zaplo {

// How soon a connection to a peer that vanished without a word (a laptop gone to sleep, a pulled
// cable, an expired NAT entry: no FIN, no RST ever comes) is given up, by the transport alone:
// keep-alive probes after a silence, and a user timeout on data that is not acknowledged. The
// peer's system answers the probes; nothing of it is part of the protocol or seen by the peer
// program. A failure reads as the peer's close: the server announces the departure, a client
// says it lost the server.
//
// - Data waiting: bytes sent and not acknowledged for nUserTimeoutMs (15 s, after some six
//   retransmissions with back-off) end the link. A live link acknowledges within a round trip,
//   also a slow one that keeps up with what it is sent; 15 s leaves room in a 20 s bound for
//   the first send after the peer went away.
// - Idle: after nIdleS of silence a probe, then one every nIntervalS; nProbes unanswered end it:
//   10 + 3 x 2 = 16 s. Linux also ends it by the user timeout once a probe is out and nothing
//   has been heard for that long; the numbers make both rules fall on the same probe. A probe
//   and its answer are two empty segments per idle peer every 10 s, which also keep NAT entries
//   alive.
//
// Where the server also serves TLS: an accepted connection that stays silent for nOpeningMs
// counts as plain (a TLS client says hello at once; 3 s also cover a lost first segment and its
// retransmission), and a TLS handshake that has not ended after nHandshakeMs is let go (a few
// round trips even over a slow link; a client that waits for its user's answer on a
// certificate connects again afterwards).
//
// Tests use short ones.
struct LinkTimeouts {
    int nIdleS = 10;
    int nIntervalS = 2;
    int nProbes = 3;
    int nUserTimeoutMs = 15000;
    int nOpeningMs = 3000;
    int nHandshakeMs = 10000;

    // Longest an idle link to a vanished peer stays open.
    int IdleBoundMs() const { return (nIdleS + nProbes * nIntervalS) * 1000; }
};

} // namespace zaplo
