// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/PictureFeed.h"

#include <QObject>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zaplo {

// Sends the canvas to newcomers as ordinary draw records, in small chunks from a timer, each
// chunk only while the newcomer has little waiting and read from the canvas as it is at that
// moment (PictureFeed decides which rows and when).
class PictureSender : public QObject {
    Q_OBJECT
public:
    // Tick intervals while chunks go out, and while every newcomer has its last one waiting.
    static constexpr int kBusyMs = 1;
    static constexpr int kWaitingMs = 5;

    // The picture has nRows rows, each read through readRow as its chunk is made; pixels equal
    // to background are not sent.
    PictureSender(int nRows, int32_t background, PictureFeed::RowReader readRow,
                  QObject* parent = nullptr);

    // Bytes the server holds for a slot.
    std::function<qint64(int16_t)> held;
    // Sends whole messages to one slot; the text's last message still needs its CR LF.
    std::function<void(const std::string&, int16_t)> send;

    // Sends the picture to slot iUser from the top.
    void Start(int16_t iUser);
    // Slot iUser has gone: nothing more for it.
    void Stop(int16_t iUser);
    bool Idle() const { return feed_.Idle(); }

    // What has gone out so far: records and bytes (CR LF included).
    std::size_t RecordsSent() const { return nRecords_; }
    std::size_t BytesSent() const { return nBytes_; }

private:
    void Tick();

    PictureFeed::RowReader readRow_;
    PictureFeed feed_;
    QTimer timer_;
    bool bTicking_ = false;
    std::size_t nRecords_ = 0;
    std::size_t nBytes_ = 0;
};

} // namespace zaplo
