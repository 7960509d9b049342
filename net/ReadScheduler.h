// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

namespace zaplo {

class Connection;
class EventPump;

// Reads the session's connections in passes. Each pass serves every connection that has
// something to read, in turn (the starting point moves on with every pass), with a fair budget
// of bytes; whatever is left waits for the next pass, which is scheduled at once. So a peer that
// floods, or sends one huge block, costs the others at most one budget's worth of dispatch per
// pass, and its bytes wait in the system's buffer (TCP slows it down) instead of in memory.
// Arrivals wait for the next pass of the event loop, so the relays of all that arrived in one
// go out together (one send per receiver, not one per arrival); the pass hands them to the
// system as it ends.
//
// Before each pass the owner looks at the flow (pace) and marks the connections it paces
// (Connection::bPaced): those are not read in that pass, the others are, so a paced sender never
// holds up anybody else. While only paced connections have something to read, a pass comes every
// kStoppedPollMs to look again.
//
// Passes never nest: one that would start while another one lets events run is left to the
// running pass and the pass after it.
class ReadScheduler : public QObject {
    Q_OBJECT
public:
    // Full: nobody is paced; Paced: the marked connections wait.
    enum class Pace { Full, Paced };

    // Bytes one connection may have read per pass: about a thousand draw messages, a few
    // milliseconds of dispatch, which is what another peer's line may have to wait.
    static constexpr int64_t kReadBudget = 16 * 1024;
    // While only paced connections have something to read, how often to look whether their
    // receivers have taken enough.
    static constexpr int kStoppedPollMs = 1;

    explicit ReadScheduler(EventPump& pump, QObject* parent = nullptr);

    // Serves c from now on; c lives as long as this scheduler.
    void Add(Connection* c);
    // Something arrived: a pass soon.
    void Wake();

    // Looked at before every pass: marks the paced connections (and may close some). Full when
    // nobody is paced.
    std::function<Pace()> pace;

private:
    void Pass();
    void Schedule(int nDelayMs);

    EventPump& pump_;
    std::vector<Connection*> connections_;
    std::size_t nNext_ = 0;
    bool bInPass_ = false;
    QTimer timer_;
};

} // namespace zaplo
