// SPDX-License-Identifier: MIT
#pragma once

namespace zaplo {

// How soon a connection to a peer that vanished without a word (a laptop gone to sleep, a pulled
// cable, an expired NAT entry: no FIN, no RST ever comes) is given up, by the transport alone:
// keep-alive probes after a silence, and a watch on data that goes unacknowledged. The
// peer's system answers the probes; nothing of it is part of the protocol or seen by the peer
// program. A failure reads as the peer's close: the server announces the departure, a client
// says it lost the server.
//
// - Data waiting: a peer that answers nothing (no acknowledgement, not even of a window probe)
//   for nUserTimeoutMs (15 s, after some six retransmissions with back-off) while bytes wait for
//   it is gone (SilenceRule). A live link answers within a round trip, also a slow one and one
//   whose reader keeps its window shut; 15 s leaves room in a 20 s bound for the first send
//   after the peer went away. This is the program's own watch, not TCP's user timeout, which
//   Linux also applies to a live receiver that keeps its window shut.
// - Idle: after nIdleS of silence a probe, then one every nIntervalS; nProbes unanswered end it:
//   10 + 3 x 2 = 16 s, about the same as with data waiting. A probe and its answer are two empty
//   segments per idle peer every 10 s, which also keep NAT entries alive.
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
