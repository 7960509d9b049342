// SPDX-License-Identifier: MIT
#pragma once

#include "base/AppState.h"
#include "net/SessionView.h"
#include "ui/main/ModalLoop.h"
#include "ui/main/RejoinPrompts.h"
#include "ui/main/UserListBox.h"

#include <QMainWindow>

#include <array>
#include <memory>

class QAction;
class QLabel;
class QPushButton;

namespace zaplo {

class CanvasWidget;
class ChatInput;
class ClientArea;
class ColourBox;
class ColourSwatch;
class HostMenu;
class LogBox;
class NetSession;
class SessionHost;
class SeparatorLine;

// The main window of a session: chat, user list with status log, and the shared canvas with its
// palette. It shows a session whose host (SessionHost) it owns and starts.
class frmMain : public QMainWindow, public SessionView {
    Q_OBJECT
public:
    // Builds the window and starts the connection (server: listen; client: connect and join).
    // The window is not shown yet.
    explicit frmMain(AppState& state, QWidget* parent = nullptr);
    ~frmMain() override;

    // Shows the window modally; returns once it has closed or the program has ended. Closing ends
    // the session's connections.
    void ShowModal();

    // True when closing the window returns to the start screen instead of ending the program.
    bool bReset = false;
    // Client: Join Again was chosen; the next session goes to the same host without the start
    // screen.
    bool bJoinAgain = false;

    // What the session shows.
    void SendToChatBox(const std::string& szMessage) override;
    void Status(const std::string& szMessage) override;
    void AddUsername(const std::string& szUser, int16_t iSlot) override {
        listUsers->AddUsername(szUser, iSlot);
    }
    void RemoveUsername(int16_t iUser) override { listUsers->RemoveUsername(iUser); }
    void RefreshUserlist() override { listUsers->RefreshUserlist(); }
    // The rows the user list shows.
    std::vector<std::string> UserRows() const { return listUsers->UserRows(); }
    void DrawSegment(const DrawRecord& record) override;
    void EraseCanvas() override;
    std::optional<Picture> KeptPicture() const override;
    void SlotClosed(int16_t iUser) override;
    void ConnectFailed() override { rejoin_.ConnectFailed(); }
    // Client: the host refused the join for want of the right password. The window asks for it
    // (PasswordDialog) once it is shown and the refusal's handling has finished.
    void PasswordNeeded(bool bWrong) override { rejoin_.PasswordNeeded(bWrong); }

    // The session's host and its network side; null once the window has closed.
    SessionHost* Host() const { return host_.get(); }
    NetSession* Session() const;
    // Chat box and status log in their CR LF form, newest line first.
    QString ChatText() const;
    QString StatusText() const;
    // What the picture feed has sent to newcomers so far: records and bytes.
    std::size_t PictureRecordsSent() const;
    std::size_t PictureBytesSent() const;

    // Smallest client area that holds every control.
    static constexpr int kMinClientWidth = 627;
    static constexpr int kMinClientHeight = 427;
    static constexpr int kOuterWidth = 640;
    static constexpr int kOuterHeight = 480;

protected:
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    void CreateMenu();
    void CreateControls();
    void CreatePalette();
    void SetSwatchColours();
    void SetTabOrder();
    void InitConnection();
    // Outer size 640 x 480 as far as the window system's frame allows, never a client area below
    // the controls' minimum.
    void FitOuterSize();

    void mnuFile_Restart_Click();
    // Closes the window for the next session to the same host, without the start screen.
    void JoinAgain();
    void mnuFile_Exit_Click();
    void txtChatSend_Enter();
    void btnClear_Click();
    void picCol_Click(int index);
    void txtclrCustom_Change();

    AppState& state_;
    std::unique_ptr<SessionHost> host_;
    ModalLoop modal_;
    bool bExiting_ = false;
    RejoinPrompts rejoin_;

    QAction* mnuFile_Restart = nullptr;
    QAction* mnuFile_Exit = nullptr;
    HostMenu* hostMenu_ = nullptr; // server only
    ClientArea* clientArea_ = nullptr;
    LogBox* txtChatBox = nullptr;
    ChatInput* txtChatSend = nullptr;
    UserListBox* listUsers = nullptr;
    QLabel* lblUserList = nullptr;
    LogBox* txtStatus = nullptr;
    QLabel* lblStatus = nullptr;
    std::array<SeparatorLine*, 2> Line1{};
    CanvasWidget* picCanvas = nullptr;
    QLabel* lblDraw = nullptr;
    QPushButton* btnClear = nullptr;
    std::array<ColourSwatch*, 16> picCol{};
    std::array<ColourBox*, 3> txtclrCustom{};
};

} // namespace zaplo
