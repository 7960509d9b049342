// Relay throughput of a server session: one client draws a long stroke, the server relays every
// segment to all other clients. Compares letting events run at most once per 5 ms of relay work
// (the default) against letting them run after every single send, in the same run.
//
//   ./build/bench/relay_throughput [messages-per-run]
#include "app/AppState.h"
#include "net/NetSession.h"
#include "net/PacketHost.h"
#include "net/SendQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

// A server window without the window: only counts what the dispatcher shows.
class BenchHost : public zaplo::PacketHost {
public:
    zaplo::AppState state;
    std::unique_ptr<zaplo::NetSession> session;
    int64_t nDraws = 0;

    BenchHost() {
        state.onEnd = nullptr;
        state.nMode = 0;
        state.szNick = "host";
        state.nPort = 0;
        state.szListenHost = "127.0.0.1";
        session = std::make_unique<zaplo::NetSession>(state, *this);
    }
    void SendToChatBox(const std::string&) override {}
    void Status(const std::string&) override {}
    void AddUsername(const std::string&, int16_t) override {}
    void RemoveUsername(int16_t) override {}
    std::optional<std::string> SlotNickname(int16_t) const override { return std::nullopt; }
    void RefreshUserlist() override {}
    std::vector<std::string> UserRows() const override { return {}; }
    void DrawSegment(const zaplo::DrawRecord&) override { ++nDraws; }
    void EraseCanvas() override {}
    int16_t HighestSlot() const override { return state.nUsers; }
    void ServerSendToClient(const std::string& szData, int16_t iUser) override {
        session->ServerSendToClient(szData, iUser);
    }
    void CloseSlot(int16_t iUser) override { session->CloseSlot(iUser); }
    void ClientServerSendMessage(const std::string& szMsg, const std::string& szData) override {
        zaplo::ClientServerSendMessage(state, szMsg, szData);
    }
};

// Lets events run until pred holds or nTimeoutMs have passed.
template <typename Pred> bool WaitUntil(Pred pred, int nTimeoutMs) {
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake;
    wake.start(10);
    while (!pred()) {
        if (elapsed.elapsed() > nTimeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

struct Result {
    double dSeconds = 0;
    double dPerSecond = 0;
    int64_t nEventRuns = 0;
    bool bComplete = false;
};

Result RunOnce(int nClients, int nMessages, int nIntervalMs) {
    BenchHost server;
    server.session->SetEventInterval(nIntervalMs);
    server.session->ServerWait();
    const quint16 nPort = server.session->ListeningPort();

    std::vector<std::unique_ptr<QTcpSocket>> clients;
    std::vector<int64_t> lines(static_cast<std::size_t>(nClients), 0);
    for (int i = 0; i < nClients; ++i) {
        auto client = std::make_unique<QTcpSocket>();
        QTcpSocket* raw = client.get();
        int64_t* count = &lines[static_cast<std::size_t>(i)];
        QObject::connect(raw, &QTcpSocket::readyRead, [raw, count] {
            const QByteArray data = raw->readAll();
            *count += data.count('\n');
        });
        client->connectToHost(QHostAddress::LocalHost, nPort);
        clients.push_back(std::move(client));
    }
    if (!WaitUntil([&] { return server.state.nUsers == nClients; }, 10000)) {
        return {};
    }

    QByteArray stroke;
    for (int i = 0; i < nMessages; ++i) {
        stroke += "{10}" + QByteArray::number(i % 200) + ";" + QByteArray::number(i % 300) + ";" +
                  QByteArray::number((i + 1) % 200) + ";" + QByteArray::number((i + 1) % 300) +
                  ";16711680;\r\n";
    }
    const int64_t nRunsBefore = server.session->EventRuns();
    QElapsedTimer timer;
    timer.start();
    clients[0]->write(stroke);
    const auto everyoneHasAll = [&] {
        for (std::size_t i = 1; i < lines.size(); ++i) {
            if (lines[i] < nMessages) {
                return false;
            }
        }
        return true;
    };
    Result result;
    result.bComplete = WaitUntil(everyoneHasAll, 300000);
    result.dSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    result.dPerSecond = static_cast<double>(nMessages) * (nClients - 1) / result.dSeconds;
    result.nEventRuns = server.session->EventRuns() - nRunsBefore;
    return result;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int nMessages = argc > 1 ? std::atoi(argv[1]) : 20000;
    std::printf("relay throughput: one client sends %d stroke segments, the server relays them "
                "to the other clients\n",
                nMessages);
    std::printf("%8s %12s %14s %12s %12s\n", "clients", "events", "delivered/s", "seconds",
                "event runs");
    for (const int nClients : {10, 50}) {
        const Result batched = RunOnce(nClients, nMessages, zaplo::NetSession::kEventIntervalMs);
        const Result baseline = RunOnce(nClients, nMessages, 0);
        if (!batched.bComplete || !baseline.bComplete) {
            std::printf("%8d  did not complete\n", nClients);
            return 1;
        }
        std::printf("%8d %12s %14.0f %12.3f %12lld\n", nClients, "per 5 ms", batched.dPerSecond,
                    batched.dSeconds, static_cast<long long>(batched.nEventRuns));
        std::printf("%8d %12s %14.0f %12.3f %12lld\n", nClients, "every send", baseline.dPerSecond,
                    baseline.dSeconds, static_cast<long long>(baseline.nEventRuns));
        std::printf("%8d %12s %14.2fx\n", nClients, "ratio",
                    batched.dPerSecond / baseline.dPerSecond);
    }
    return 0;
}
