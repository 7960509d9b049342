// SPDX-License-Identifier: MIT
#include "net/PictureSender.h"

#include <utility>

namespace zaplo {

PictureSender::PictureSender(int nRows, int32_t background, PictureFeed::RowReader readRow,
                             QObject* parent)
    : QObject(parent), readRow_(std::move(readRow)), feed_(nRows, background) {
    timer_.setObjectName(QStringLiteral("timerSendPicture"));
    timer_.setInterval(kBusyMs);
    connect(&timer_, &QTimer::timeout, this, &PictureSender::Tick);
}

void PictureSender::Start(int16_t iUser) {
    feed_.Start(iUser);
    timer_.start(kBusyMs);
}

void PictureSender::Stop(int16_t iUser) {
    feed_.Stop(iUser);
}

void PictureSender::Tick() {
    // Sending lets events run; a tick inside a tick would send rows twice.
    if (bTicking_) {
        return;
    }
    bTicking_ = true;
    bool bSent = false;
    for (const int16_t iUser : feed_.Slots()) {
        std::size_t nCount = 0;
        std::string szChunk = feed_.NextChunk(iUser, held ? held(iUser) : 0, readRow_, &nCount);
        if (szChunk.empty() || !send) {
            continue;
        }
        nRecords_ += nCount;
        nBytes_ += szChunk.size();
        szChunk.resize(szChunk.size() - 2); // the sender ends the last message
        send(szChunk, iUser);
        bSent = true;
    }
    if (feed_.Idle()) {
        timer_.stop();
    } else {
        // Every newcomer still has its last chunk waiting (one may not read at all): look less
        // often until one takes it.
        timer_.setInterval(bSent ? kBusyMs : kWaitingMs);
    }
    bTicking_ = false;
}

} // namespace zaplo
