// SPDX-License-Identifier: MIT
// Load generator for the relay benchmarks: C clients in one process, one epoll loop, plain
// sockets. Every client joins, then sends draw records that carry its id, a sequence number and
// the send time in fields after the five that a server relays untouched:
//   {10}sx;sy;dx;dy;clr;<id>;<seq>;<send ns, CLOCK_MONOTONIC>;  CR LF
// Every client reads everything, ignores other lines, and checks that each record of every other
// sender arrives exactly once and in that sender's order; the delay from send to receipt is the
// latency. The same workload also speaks MQTT 3.1.1 (QoS 0, every client subscribed to one topic
// and publishing the same payload) for a comparison with a broker.
//
//   zaplo_bench_bot --port P [--host 127.0.0.1] [--proto line|mqtt] [--tls 1]
//                   [--mode flood|burst|paced|idle|join] [--clients C] [--seconds T] [--rate R]
//                   [--window W] [--records N]
// flood: each client sends as fast as its socket takes, at most W records ahead of the slowest
//        receiver (0: no limit; default 20000 / C, which keeps every
//        server's queue for one client under about 1 MiB), for T seconds.
// burst: each client sends N records as fast as its socket takes them, with no window: how far
//        a sender runs ahead of its receivers is left to the server. The run ends when every
//        record has arrived everywhere. paced: R records/s per client for T seconds.
// idle:  join, print "JOINED" and sit reading until killed.
// join:  the clients join one after the other, each once the one before has its answer; the
//        times from connecting to the answer (the user list).
// --tls 1: every client over TLS (OpenSSL, the server's certificate not checked).
// The last line of stdout is "RESULT key=value ...".
#include "bench/bot/BotOptions.h"
#include "bench/bot/BotSwarm.h"

#include <csignal>

int main(int argc, char** argv) {
    signal(SIGPIPE, SIG_IGN);
    BotOptions opt;
    if (!opt.Parse(argc, argv)) {
        return 2;
    }
    BotSwarm swarm(opt);
    return swarm.Run();
}
