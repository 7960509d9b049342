// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <vector>

namespace zaplo {

class TcpSocket;

// Lets pending window and socket events run in the middle of long relay and drain work, so the
// window and the other connections stay alive, but not after every single send: a send only
// fills a buffer, and running the events is what writes it out, so batching the runs lets the
// system take many messages at once.
//
// Work is bracketed by Begin/End (nested work counts as part of the outermost). After each send
// the owner calls AfterSend, which runs the events when the interval has passed since the start
// of the outermost work or since the last run (noticed within kSendsPerClockRead sends).
// Interval 0 runs them after every send.
class EventPump {
public:
    // Deepest nesting of event runs; deeper down (many connections relaying inside each
    // other's event runs) the work goes on without running events, which keeps the stack
    // bounded. The outer levels run the events afterwards.
    static constexpr int kMaxDepth = 32;
    // Reading the clock costs more than a send: AfterSend reads it for the first send after
    // the work starts or the events have run, then only for every this many sends.
    static constexpr int kSendsPerClockRead = 32;

    EventPump(std::function<int32_t()> clock, int nIntervalMs);

    void SetInterval(int nIntervalMs) { nIntervalMs_ = nIntervalMs; }

    void Begin();
    void End();
    // Ends the work like End, and when it was the outermost, hands the gathered sends over now
    // instead of after this pass of the event loop.
    void EndAndHandOver();
    void AfterSend();
    // Runs the pending events now, whatever the interval.
    void Run();
    bool InWork() const { return nWork_ > 0; }

    // A socket that has gathered sends during the work; its bytes are handed to the system in
    // one piece before events run, and once per pass of the event loop after the outermost
    // work has ended, so the relays of several arrivals in one pass go out together.
    void Defer(TcpSocket* socket);
    // The socket goes away: nothing more is handed over for it.
    void Forget(TcpSocket* socket);

    // How often the events have run (for tests and measurements).
    int64_t Runs() const { return nRuns_; }

private:
    std::function<int32_t()> clock_;
    int nIntervalMs_;
    int nWork_ = 0;
    int nDepth_ = 0;
    int32_t lLastRun_ = 0;
    int64_t nRuns_ = 0;
    int nSendsUnclocked_ = 0;
    std::vector<TcpSocket*> deferred_;
    // Owns the posted hand-over: it is dropped with the pump.
    QObject context_;
    bool bHandOverPosted_ = false;

    void HandOver();
};

} // namespace zaplo
