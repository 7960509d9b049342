#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace zaplo {

class Connection;

// Reads the session's connections in passes. Each pass serves every connection that has
// something to read, in turn (the starting point moves on with every pass), with a fair budget
// of bytes; whatever is left waits for the next pass, which is scheduled at once. So a peer that
// floods, or sends one huge block, costs the others at most one budget's worth of dispatch per
// pass, and its bytes wait in the system's buffer (TCP slows it down) instead of in memory.
//
// The owner may pace the reading (pace): while the peers that read fall behind with what is
// sent to them, passes come only every kPacedIntervalMs and read kPacedBudget bytes in all,
// shared out over the ready connections, so the small lines of ordinary senders still get
// through; or nobody is read at all until the readers have taken enough.
//
// Passes never nest: one that would start while another one lets events run is left to the
// running pass and the pass after it.
class ReadScheduler : public QObject {
    Q_OBJECT
public:
    enum class Pace { Full, Slow, Stop };

    // Bytes one connection may have read per pass: about a thousand draw messages, a few
    // milliseconds of dispatch, which is what another peer's line may have to wait.
    static constexpr int64_t kReadBudget = 16 * 1024;
    // Bytes read per paced pass, all connections together: at one pass per kPacedIntervalMs
    // this lets through 400 KB/s, far more than people type and draw, far less than a flood.
    static constexpr int64_t kPacedBudget = 4 * 1024;
    static constexpr int kPacedIntervalMs = 10;
    // While nobody is read, how often to look whether the readers have taken enough.
    static constexpr int kStoppedPollMs = 1;

    explicit ReadScheduler(QObject* parent = nullptr);

    // Serves c from now on; c lives as long as this scheduler.
    void Add(Connection* c);
    // Something arrived: a pass soon.
    void Wake();

    std::function<Pace()> pace;

private:
    void Pass();
    void Schedule(int nDelayMs);

    std::vector<Connection*> connections_;
    std::size_t nNext_ = 0;
    bool bInPass_ = false;
    QTimer timer_;
    std::chrono::steady_clock::time_point lastPaced_{};
};

} // namespace zaplo
