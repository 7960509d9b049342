// SPDX-License-Identifier: MIT
#pragma once
// An honest client of the soak: draws and chats at a steady rate and checks that every record
// and chat line of the other honest clients arrives once and in order.
#include "bench/soak/SoakShared.h"

#include <string_view>

class Honest {
public:
    Honest(int id, uint16_t nPort, Shared& shared);
    ~Honest();

    void Run(double dSeconds);

private:
    void Queue(double ms, long& nDraw, long& nChat);
    void Report();
    bool Complete() const;
    void Pump();
    void Line(std::string_view line);
    void Chat(std::string_view line);
    static void Count(long seq, long& next, long& nDisorder);

    int id_;
    Shared& shared_;
    int fd_;
    bool bClosed_ = false;
    std::string in_;
    std::string out_;
    long draws_[kHonest] = {};
    long chats_[kHonest] = {};
    long nDisorder_ = 0;
    long nFloodRecords_ = 0;
    std::vector<double> echo_;
};
