// SPDX-License-Identifier: MIT
// Browsers against TCP peers, side by side in one run, through real zaplo-server processes with
// their web port (loopback):
//   latency  stroke-to-screen p50/p99 at another participant: a TCP drawer (baseline), a
//            WebSocket drawer, and a WebSocket watcher of a TCP drawer;
//   flood    records per second a WebSocket reader takes from a TCP flooder next to a TCP
//            reader (baseline), while the server paces the flood;
//   cpu      the server's CPU per relayed record to a lone WebSocket receiver against a lone
//            TCP receiver (a server process each).
// Usage: zaplo_bench_web SERVER_BINARY [--strokes N] [--records N] [--seconds S]
#include "bench/web/TcpPeer.h"
#include "bench/web/WsPeer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

// Nanoseconds of the monotonic clock.
qint64 Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Waits (running events) until done() or nMs passed.
bool WaitFor(const std::function<bool()>& done, int nMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > nMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

uint16_t FreePort(bool bLow) {
    for (;;) {
        const auto nPort =
            static_cast<uint16_t>(bLow ? 20000 + QRandomGenerator::global()->bounded(12000)
                                       : 40000 + QRandomGenerator::global()->bounded(20000));
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, nPort)) {
            return nPort;
        }
    }
}

std::unique_ptr<Peer> Join(std::unique_ptr<Peer> peer, const QByteArray& szNick) {
    Peer* p = peer.get();
    if (!WaitFor([p] { return p->Up(); }, 10000)) {
        return nullptr;
    }
    p->Send("{2}" + szNick);
    return WaitFor([p] { return p->bJoined; }, 10000) ? std::move(peer) : nullptr;
}

struct Server {
    Server(const QString& szBinary, bool bWeb) : nPort(FreePort(true)), nWebPort(FreePort(false)) {
        QStringList args{QStringLiteral("--port"),   QString::number(nPort),
                         QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--nick"),   QStringLiteral("host")};
        if (bWeb) {
            args << QStringLiteral("--web") << QString::number(nWebPort);
        }
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(szBinary, args);
        bUp =
            process.waitForStarted(10000) &&
            WaitFor([this] { return process.readAllStandardOutput().contains("Waiting"); }, 10000);
    }
    ~Server() {
        process.terminate();
        process.waitForFinished(5000);
    }
    // Time the process has run on a CPU, in seconds (nanoseconds from the scheduler).
    double Cpu() const {
        QFile stat(QStringLiteral("/proc/%1/schedstat").arg(process.processId()));
        if (!stat.open(QIODevice::ReadOnly)) {
            return 0;
        }
        return stat.readAll().split(' ').value(0).toDouble() / 1e9;
    }
    uint16_t nPort;
    uint16_t nWebPort;
    QProcess process;
    bool bUp = false;
};

struct Latency {
    double p50 = 0;
    double p99 = 0;
    int nLost = 0;
};

// nStrokes strokes from drawer, one per millisecond or two, timed at watcher.
Latency MeasureStrokes(Peer& drawer, Peer& watcher, int nStrokes, int nTag) {
    std::vector<qint64> sent(static_cast<std::size_t>(nStrokes), -1);
    std::vector<double> got;
    got.reserve(sent.size());
    const QByteArray prefix = "{10}" + QByteArray::number(nTag) + ";";
    watcher.onLine = [&](const QByteArray& line) {
        if (!line.startsWith(prefix)) {
            return;
        }
        const int i =
            line.mid(prefix.size(), line.indexOf(';', prefix.size()) - prefix.size()).toInt();
        if (i >= 0 && i < nStrokes && sent[static_cast<std::size_t>(i)] >= 0) {
            got.push_back(static_cast<double>(Now() - sent[static_cast<std::size_t>(i)]) / 1e6);
        }
    };
    int nNext = 0;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, &pace, [&] {
        if (nNext < nStrokes) {
            sent[static_cast<std::size_t>(nNext)] = Now();
            drawer.Send(prefix + QByteArray::number(nNext) + ";3;4;255;");
            ++nNext;
        }
    });
    pace.start(1);
    WaitFor([&] { return static_cast<int>(got.size()) >= nStrokes; }, 30000 + nStrokes * 5);
    watcher.onLine = nullptr;
    Latency result;
    result.nLost = nStrokes - static_cast<int>(got.size());
    if (!got.empty()) {
        std::sort(got.begin(), got.end());
        result.p50 = got[got.size() / 2];
        result.p99 = got[std::min(got.size() - 1, got.size() * 99 / 100)];
    }
    return result;
}

QByteArray Record(long i) {
    return "{10}" + QByteArray::number(i % 300) + ";7;8;9;255;";
}

// The server's CPU per record relayed from a TCP sender to one receiver of the given kind.
double CpuPerRecord(const QString& szBinary, bool bWebReceiver, long nRecords, bool& bOk) {
    Server server(szBinary, true);
    auto sender = server.bUp ? Join(std::make_unique<TcpPeer>(server.nPort), "sender") : nullptr;
    std::unique_ptr<Peer> receiver;
    if (sender) {
        receiver = bWebReceiver ? Join(std::make_unique<WsPeer>(server.nWebPort), "receiver")
                                : Join(std::make_unique<TcpPeer>(server.nPort), "receiver");
    }
    if (!receiver) {
        bOk = false;
        return 0;
    }
    long nGot = 0;
    receiver->onLine = [&](const QByteArray& line) { nGot += line.startsWith("{10}") ? 1 : 0; };
    const double lStart = server.Cpu();
    long nSent = 0;
    const bool bDone = WaitFor(
        [&] {
            while (nSent < nRecords && sender->Unsent() < 256 * 1024) {
                QByteArray chunk;
                for (int i = 0; i < 200 && nSent < nRecords; ++i, ++nSent) {
                    chunk += Record(nSent) + "\r\n";
                }
                static_cast<TcpPeer*>(sender.get())->socket.write(chunk);
            }
            return nGot >= nRecords;
        },
        120000);
    bOk = bOk && bDone;
    if (!bDone) {
        std::fprintf(stderr, "zaplo_bench_web: %ld of %ld records sent, %ld received\n", nSent,
                     nRecords, nGot);
    }
    return (server.Cpu() - lStart) / static_cast<double>(nRecords);
}

// The command line: the server binary, then --strokes N, --records N, --seconds S.
struct Options {
    QString szBinary;
    int nStrokes = 2000;
    long nRecords = 1000000;
    int nSeconds = 3;
};

std::optional<Options> ReadOptions(const QStringList& args) {
    if (args.size() < 2) {
        return std::nullopt;
    }
    Options options;
    options.szBinary = args[1];
    for (qsizetype i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] == QStringLiteral("--strokes")) {
            options.nStrokes = args[i + 1].toInt();
        } else if (args[i] == QStringLiteral("--records")) {
            options.nRecords = args[i + 1].toLong();
        } else if (args[i] == QStringLiteral("--seconds")) {
            options.nSeconds = args[i + 1].toInt();
        }
    }
    return options;
}

// Stroke-to-screen latency: TCP to TCP as the baseline, WebSocket to TCP, TCP to WebSocket.
void ReportLatency(Peer& tcpDrawer, Peer& tcpWatcher, Peer& webPeer, int nStrokes) {
    const Latency tcp = MeasureStrokes(tcpDrawer, tcpWatcher, nStrokes, 1);
    const Latency fromWeb = MeasureStrokes(webPeer, tcpWatcher, nStrokes, 2);
    const Latency toWeb = MeasureStrokes(tcpDrawer, webPeer, nStrokes, 3);
    std::printf("latency (ms, %d strokes)      p50      p99   lost   p50 ratio  p99 ratio\n",
                nStrokes);
    for (const auto& [szName, result] :
         {std::pair{"tcp -> tcp (baseline)", tcp}, std::pair{"websocket -> tcp", fromWeb},
          std::pair{"tcp -> websocket", toWeb}}) {
        std::printf("  %-26s %8.3f %8.3f %6d %10.2f %10.2f\n", szName, result.p50, result.p99,
                    result.nLost, tcp.p50 > 0 ? result.p50 / tcp.p50 : 0,
                    tcp.p99 > 0 ? result.p99 / tcp.p99 : 0);
    }
}

// Flood: a TCP flooder as fast as its socket takes for nSeconds; both readers read all they get.
// False when the flooder could not join.
bool ReportFlood(const Server& server, Peer& tcpDrawer, Peer& tcpWatcher, Peer& webPeer,
                 int nSeconds) {
    auto flooder = Join(std::make_unique<TcpPeer>(server.nPort), "flood");
    if (!flooder) {
        std::fputs("zaplo_bench_web: the flooder could not join\n", stderr);
        return false;
    }
    long nWeb = 0;
    long nTcp = 0;
    webPeer.onLine = [&](const QByteArray& line) { nWeb += line.startsWith("{10}") ? 1 : 0; };
    tcpWatcher.onLine = [&](const QByteArray& line) { nTcp += line.startsWith("{10}") ? 1 : 0; };
    tcpDrawer.onLine = nullptr;
    long nFlooded = 0;
    QElapsedTimer window;
    window.start();
    WaitFor(
        [&] {
            while (flooder->Unsent() < 256 * 1024) {
                QByteArray chunk;
                for (int i = 0; i < 200; ++i, ++nFlooded) {
                    chunk += Record(nFlooded) + "\r\n";
                }
                static_cast<TcpPeer*>(flooder.get())->socket.write(chunk);
            }
            return false;
        },
        nSeconds * 1000);
    const double lSeconds = static_cast<double>(window.elapsed()) / 1000.0;
    const bool bWebUp = webPeer.Up();
    std::printf("flood (%.1f s)                 records/s   ratio\n", lSeconds);
    std::printf("  %-26s %10.0f %7.2f\n", "tcp reader (baseline)",
                static_cast<double>(nTcp) / lSeconds, 1.0);
    std::printf("  %-26s %10.0f %7.2f%s\n", "websocket reader",
                static_cast<double>(nWeb) / lSeconds,
                nTcp > 0 ? static_cast<double>(nWeb) / static_cast<double>(nTcp) : 0.0,
                bWebUp ? "" : "  (cut)");
    std::printf("  %-26s %10.0f\n", "offered by the flooder",
                static_cast<double>(nFlooded) / lSeconds);
    // The counts go with this run.
    webPeer.onLine = nullptr;
    tcpWatcher.onLine = nullptr;
    return true;
}

// The server's CPU per relayed record, to a TCP and to a WebSocket receiver. False when a run
// did not finish.
bool ReportCpu(const QString& szBinary, long nRecords) {
    bool bOk = true;
    const double lTcpCpu = CpuPerRecord(szBinary, false, nRecords, bOk);
    const double lWebCpu = CpuPerRecord(szBinary, true, nRecords, bOk);
    std::printf("server cpu per relayed record (%ld records)   us   ratio\n", nRecords);
    std::printf("  %-26s %8.3f %7.2f\n", "to a tcp peer (baseline)", lTcpCpu * 1e6, 1.0);
    std::printf("  %-26s %8.3f %7.2f\n", "to a websocket peer", lWebCpu * 1e6,
                lTcpCpu > 0 ? lWebCpu / lTcpCpu : 0.0);
    if (!bOk) {
        std::fputs("zaplo_bench_web: a cpu run did not finish\n", stderr);
    }
    return bOk;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::optional<Options> options = ReadOptions(QCoreApplication::arguments());
    if (!options) {
        std::fputs("usage: zaplo_bench_web SERVER_BINARY [--strokes N] [--records N] "
                   "[--seconds S]\n",
                   stderr);
        return 2;
    }
    Server server(options->szBinary, true);
    if (!server.bUp) {
        std::fputs("zaplo_bench_web: the server did not start\n", stderr);
        return 1;
    }
    auto tcpDrawer = Join(std::make_unique<TcpPeer>(server.nPort), "tdraw");
    auto tcpWatcher = Join(std::make_unique<TcpPeer>(server.nPort), "twatch");
    auto webPeer = Join(std::make_unique<WsPeer>(server.nWebPort), "web");
    if (!tcpDrawer || !tcpWatcher || !webPeer) {
        std::fputs("zaplo_bench_web: the participants could not join\n", stderr);
        return 1;
    }
    ReportLatency(*tcpDrawer, *tcpWatcher, *webPeer, options->nStrokes);
    if (!ReportFlood(server, *tcpDrawer, *tcpWatcher, *webPeer, options->nSeconds)) {
        return 1;
    }
    webPeer.reset();
    tcpWatcher.reset();
    tcpDrawer.reset();
    return ReportCpu(options->szBinary, options->nRecords) ? 0 : 1;
}
