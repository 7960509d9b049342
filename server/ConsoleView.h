// SPDX-License-Identifier: MIT
#pragma once

#include "net/SessionView.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zaplo {

class PixelCanvas;

// The headless server's view of its session: every status line the window would log goes to
// onStatus; chat lines and strokes are not kept (there is no chat box), and a canvas only when
// the picture goes to newcomers.
class ConsoleView : public SessionView {
public:
    using StatusSink = std::function<void(const std::string&)>;

    // With bKeepPicture the view keeps a plain canvas, so the host can feed it to newcomers.
    explicit ConsoleView(StatusSink onStatus, bool bKeepPicture = false);
    ~ConsoleView() override;
    ConsoleView(const ConsoleView&) = delete;
    ConsoleView& operator=(const ConsoleView&) = delete;

    // Starts keeping the canvas (blank: what was drawn before is not known), or stops and
    // forgets it. The canvas, once made, stays for the rows a picture feed still reads.
    void SetKeepPicture(bool bKeep);
    bool KeepsPicture() const { return bKeep_; }
    // The kept canvas; null when none was ever kept.
    const PixelCanvas* Canvas() const { return canvas_.get(); }

    void SendToChatBox(const std::string& szMessage) override;
    void Status(const std::string& szMessage) override;
    void AddUsername(const std::string& szUser, int16_t iSlot) override;
    void RemoveUsername(int16_t iUser) override;
    void RefreshUserlist() override;
    void DrawSegment(const DrawRecord& record) override;
    void EraseCanvas() override;
    std::optional<Picture> KeptPicture() const override;

private:
    StatusSink onStatus_;
    std::unique_ptr<PixelCanvas> canvas_;
    bool bKeep_ = false;
};

} // namespace zaplo
