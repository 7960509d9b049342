// SPDX-License-Identifier: MIT
#include "server/ConsoleView.h"

#include "base/PixelCanvas.h"

#include <span>
#include <utility>
#include <vector>

namespace zaplo {

ConsoleView::ConsoleView(StatusSink onStatus, bool bKeepPicture) : onStatus_(std::move(onStatus)) {
    SetKeepPicture(bKeepPicture);
}

ConsoleView::~ConsoleView() = default;

void ConsoleView::SetKeepPicture(bool bKeep) {
    if (bKeep && !canvas_) {
        canvas_ = std::make_unique<PixelCanvas>();
    } else if (!bKeep && canvas_) {
        canvas_->Erase();
    }
    bKeep_ = bKeep;
}

void ConsoleView::SendToChatBox(const std::string& /*szMessage*/) {
    // No chat box; the host echoes the line to the clients all the same.
}

void ConsoleView::Status(const std::string& szMessage) {
    if (onStatus_) {
        onStatus_(szMessage);
    }
}

void ConsoleView::AddUsername(const std::string& /*szUser*/, int16_t /*iSlot*/) {
    // The host keeps the list; nothing shows it here.
}

void ConsoleView::RemoveUsername(int16_t /*iUser*/) {}

void ConsoleView::RefreshUserlist() {}

void ConsoleView::DrawSegment(const DrawRecord& record) {
    // Without a canvas the host relays the segment all the same.
    if (bKeep_) {
        canvas_->DrawSegment(record.sx, record.sy, record.dx, record.dy, record.clr);
    }
}

void ConsoleView::EraseCanvas() {
    if (canvas_) {
        canvas_->Erase();
    }
}

std::optional<SessionView::Picture> ConsoleView::KeptPicture() const {
    if (!bKeep_) {
        return std::nullopt;
    }
    const PixelCanvas* canvas = canvas_.get();
    return Picture{PixelCanvas::kHeight, canvas->Background(),
                   [canvas](int y, std::vector<int32_t>& row) {
                       const std::span<const int32_t> pixels = canvas->Row(y);
                       row.assign(pixels.begin(), pixels.end());
                   }};
}

} // namespace zaplo
