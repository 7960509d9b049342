// SPDX-License-Identifier: MIT
#pragma once
// Peers of the soak's pacing phases, all driven by one thread: drawers and talkers that send at
// fixed rates, and readers that take at most a fixed number of bytes per second through a small
// receive buffer (a slow link). Every peer checks that the records and chat lines of the others
// arrive once and in order, and times the chat lines it receives.
#include "bench/soak/SoakSocket.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct PeerPlan {
    std::string szNick; // also the chat stamp's sender name
    int nDrawsPerSecond = 0;
    double dChatsPerSecond = 0;
    long nReadRate = 0; // bytes per second; 0 reads all
    int nRcvBuf = 0;    // 0: the system's default
};

class SwarmPeer {
public:
    SwarmPeer(int id, const PeerPlan& plan, uint16_t nPort);
    ~SwarmPeer();

    // Generates what is due at ms since the start (when bSending), sends and reads what it can.
    void Step(double ms, bool bSending);
    int Fd() const { return fd_; }
    bool WantsWrite() const { return !out_.empty(); }
    bool Closed() const { return bClosed_; }
    bool Drained() const { return out_.empty(); }

    int id;
    PeerPlan plan;
    long nDrawsMade = 0;
    long nChatsMade = 0;
    // Per sender id: records and chat lines received in order; out-of-order or repeated ones.
    std::map<int, long> draws;
    std::map<int, long> chats;
    long nDisorder = 0;
    long nFloodRecords = 0;
    long nJoinsSeen = 0;
    std::map<int, std::vector<double>> chatMs; // per sender id: send-to-receipt times
    std::map<std::string, double> departures;  // nick -> ms since start when announced
    double dClosedAtMs = -1;

private:
    void Read(double ms);
    void Line(std::string_view line, double ms);

    int fd_;
    bool bClosed_ = false;
    std::string in_;
    std::string out_;
    double dReadBudget_ = 0;
    double dLastMs_ = 0;
};

// Runs the peers for dSeconds of sending, then up to dDrainSeconds more until every peer has
// received every record and line of the others (flooder records aside).
void RunSwarm(std::vector<std::unique_ptr<SwarmPeer>>& peers, double dSeconds, double dDrainSeconds,
              const std::atomic<bool>* pStop = nullptr);

// Records and chat lines made by the others (peers in `from`) that peer p is missing.
long Missing(const SwarmPeer& p, const std::vector<std::unique_ptr<SwarmPeer>>& from);
