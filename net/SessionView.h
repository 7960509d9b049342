// SPDX-License-Identifier: MIT
#pragma once

#include "net/core/DrawRecord.h"
#include "net/core/PictureFeed.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zaplo {

// What shows a session: the main window, or the headless server's printed log. The session's
// host (SessionHost) tells it what to show; it decides nothing about the session itself. All
// texts are bytes (UTF-8 where they are shown).
class SessionView {
public:
    // The picture a view keeps, for the feed to newcomers: nRows rows read through readRow.
    struct Picture {
        int nRows = 0;
        int32_t background = 0;
        PictureFeed::RowReader readRow;
    };

    virtual ~SessionView() = default;

    virtual void SendToChatBox(const std::string& szMessage) = 0;
    virtual void Status(const std::string& szMessage) = 0;
    // The user list as the host keeps it, row by row: appended, a slot's first row removed,
    // emptied.
    virtual void AddUsername(const std::string& szUser, int16_t iSlot) = 0;
    virtual void RemoveUsername(int16_t iUser) = 0;
    virtual void RefreshUserlist() = 0;
    virtual void DrawSegment(const DrawRecord& record) = 0;
    virtual void EraseCanvas() = 0;

    // The kept picture; none for a view without a canvas, which cannot feed newcomers.
    virtual std::optional<Picture> KeptPicture() const { return std::nullopt; }
    // Slot iUser's connection has closed: whatever the view offers for it goes.
    virtual void SlotClosed(int16_t /*iUser*/) {}
    // A client's connection did not come up in time: the view tells its user.
    virtual void ConnectFailed() {}
    // A client was closed before its join was answered because the session needs a password
    // (bWrong: the one it answered with was wrong). Called from the event loop, never from
    // inside the session's own handlers, so the view may end the session here.
    virtual void PasswordNeeded(bool /*bWrong*/) {}
};

} // namespace zaplo
