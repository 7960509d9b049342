// SPDX-License-Identifier: MIT
#pragma once

#include "base/AppState.h"
#include "tests/support/HeadlessHost.h"
#include "ui/main/frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline QString S(const char* text) {
    return QString::fromUtf8(text);
}

// What the window tests share: a server window and client windows in one process, each on a
// state of its own, and a hook on the next modal dialog or box.
class WindowTestBase : public QObject {
protected:
    struct Party {
        std::unique_ptr<zaplo::AppState> state = std::make_unique<zaplo::AppState>();
        std::unique_ptr<zaplo::frmMain> w;
    };

    std::vector<std::unique_ptr<Party>> parties_; // the server first
    int16_t nPort_ = 0;
    // Run on the next modal dialog or box that opens; cleared once it has run.
    std::function<void(QWidget*)> onModal_;

    void StartModalWatch() {
        connect(&modalWatch_, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr && onModal_) {
                std::exchange(onModal_, nullptr)(modal);
            }
        });
        modalWatch_.start(10);
    }
    void CloseParties() {
        onModal_ = nullptr;
        // Clients first, so the server sees them go while it still runs.
        while (!parties_.empty()) {
            parties_.pop_back();
        }
    }

    // A window on the party's state, as the start-up loop opens one (Join Again included).
    zaplo::frmMain& Show(Party& party) {
        party.w.reset();
        party.w = std::make_unique<zaplo::frmMain>(*party.state);
        party.w->show();
        return *party.w;
    }
    Party& Open(zaplo::Mode nMode, const std::string& szNick,
                std::optional<std::string> szPassword = std::nullopt) {
        Party& party = *parties_.emplace_back(std::make_unique<Party>());
        zaplo::AppState& state = *party.state;
        state.onEnd = nullptr;
        state.nMode = nMode;
        state.szNick = szNick;
        state.nPort = nPort_;
        state.szListenHost = state.szServerIP = "127.0.0.1";
        state.szSessionPassword = std::move(szPassword);
        Show(party);
        return party;
    }
    zaplo::frmMain& Host(std::optional<std::string> szPassword = std::nullopt) {
        nPort_ = FreeLowPort();
        return *Open(zaplo::Mode::Server, "host", std::move(szPassword)).w;
    }

    static QAction* Action(zaplo::frmMain& w, const char* name) {
        return w.findChild<QAction*>(S(name));
    }
    static QListWidget& List(zaplo::frmMain& w) {
        return *w.findChild<QListWidget*>(S("listUsers"));
    }
    static bool Listed(const zaplo::frmMain& w, const std::string& szNick) {
        const auto rows = w.UserRows();
        return std::find(rows.begin(), rows.end(), szNick) != rows.end();
    }
    // Context menu over a row of the server's user list; the menu if one opened.
    static QMenu* ContextMenuAt(zaplo::frmMain& w, int iRow) {
        QListWidget& list = List(w);
        const QPoint at = list.visualItemRect(list.item(iRow)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, list.viewport()->mapToGlobal(at));
        QApplication::sendEvent(list.viewport(), &event);
        auto* menu = list.findChild<QMenu*>(S("mnuUserList"));
        return menu != nullptr && menu->isVisible() ? menu : nullptr;
    }

private:
    QTimer modalWatch_;
};
