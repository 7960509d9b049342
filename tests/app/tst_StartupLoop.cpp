// SPDX-License-Identifier: MIT
#include "app/StartupLoop.h"
#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/SessionHost.h"
#include "tests/support/HeadlessHost.h"
#include "ui/connect/frmIP.h"
#include "ui/main/PasswordDialog.h"
#include "ui/main/frmMain.h"
#include "ui/start/frmStart.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <vector>

using zaplo::frmIP;
using zaplo::frmMain;
using zaplo::frmStart;
using zaplo::PasswordDialog;

namespace {

template <class T> T* Visible() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

bool AnyVisible() {
    return Visible<frmStart>() || Visible<frmIP>() || Visible<frmMain>() ||
           Visible<PasswordDialog>();
}

QLineEdit* Box(QWidget* window, const char* szBox) {
    return window->findChild<QLineEdit*>(QLatin1String(szBox));
}

// False when the window has no such button.
bool Click(QWidget* window, const char* szButton) {
    auto* button = window->findChild<QAbstractButton*>(QLatin1String(szButton));
    if (button != nullptr) {
        QTest::mouseClick(button, Qt::LeftButton);
    }
    return button != nullptr;
}

// One thing the user does: it waits for a window of type T, acts on it and returns true.
using Step = std::function<bool()>;
template <class T> Step On(std::function<void(T*)> act) {
    return [act] {
        T* window = Visible<T>();
        if (window) {
            act(window);
        }
        return window != nullptr;
    };
}

Step Choose(const char* szButton) {
    return On<frmStart>([szButton](frmStart* intro) { QVERIFY(Click(intro, szButton)); });
}

// A check inside a step that returns a value; a failure ends the play.
bool Check(bool bOk) {
    return QTest::qVerify(bOk, "step check", "", __FILE__, __LINE__);
}

void Trigger(QWidget* window, const char* szAction) {
    window->findChild<QAction*>(QLatin1String(szAction))->trigger();
}

Step EscapeAtIntro() {
    return On<frmStart>([](frmStart* intro) { QTest::keyClick(intro, Qt::Key_Escape); });
}

} // namespace

class TestStartupLoop : public QObject {
    Q_OBJECT

    std::unique_ptr<zaplo::AppState> state_;

    // Runs the loop while the steps play the user's part. A failed check, a step that never
    // comes or a window shown after the last step ends the program, so that Run returns.
    void Play(std::vector<Step> steps, bool bStraightToSession = false) {
        std::size_t iStep = 0;
        bool bAborted = false;
        int nIdlePolls = 0;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            if (iStep < steps.size() && steps[iStep]()) {
                ++iStep;
                nIdlePolls = 0;
            }
            // Once the steps are done, any window still up after some polls is one too many.
            const bool bOver = iStep == steps.size() && AnyVisible() && nIdlePolls > 20;
            if (QTest::currentTestFailed() || bOver || ++nIdlePolls > 6000) {
                bAborted = true;
                poll.stop();
                state_->EndProgram();
                for (QWidget* window : QApplication::topLevelWidgets()) {
                    window->close(); // unblocks whichever window the loop waits on
                }
            }
        });
        poll.start(5);
        zaplo::StartupLoop(*state_).Run(bStraightToSession);
        QVERIFY2(
            !bAborted && iStep == steps.size(),
            qPrintable(QStringLiteral("the loop and the user went apart at step %1").arg(iStep)));
        QVERIFY(state_->Ended() && !AnyVisible());
    }

    void JoinAt(int nPort) {
        state_->nMode = zaplo::Mode::Client;
        state_->szNick = "ann";
        state_->szServerIP = "127.0.0.1";
        state_->nPort = static_cast<int16_t>(nPort);
    }

    // OK in server mode; the stored port is then swapped for one the system picks.
    Step ServerOk() {
        return On<frmIP>([this](frmIP* dialog) {
            QVERIFY(state_->nMode == zaplo::Mode::Server);
            Box(dialog, "txtNick")->setText(QStringLiteral("host"));
            QVERIFY(Click(dialog, "btnOK"));
            QVERIFY(state_->nPort == 201 && state_->szNick == "host");
            state_->nPort = 0;
        });
    }

private Q_SLOTS:
    void init() {
        state_ = std::make_unique<zaplo::AppState>();
        state_->onEnd = nullptr;
        state_->szListenHost = "127.0.0.1";
    }

    void sessionWithoutResetIsTheLast_data() {
        QTest::addColumn<int>("nWay");
        QTest::newRow("Exit") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("hidden by other means") << 2;
    }
    // A reset returns to a fresh intro; the session after it ends the program.
    void sessionWithoutResetIsTheLast() {
        QFETCH(int, nWay);
        QPointer<frmStart> introFirst;
        QPointer<frmMain> first;
        Play({On<frmStart>([&](frmStart* intro) {
                  introFirst = intro;
                  QVERIFY(Click(intro, "btnServer"));
              }),
              ServerOk(), On<frmMain>([&](frmMain* window) {
                  first = window;
                  Trigger(window, "mnuFile_Restart");
              }),
              On<frmStart>([&](frmStart* intro) {
                  // A new intro, the session's window gone, the settings kept until the next OK.
                  QVERIFY(introFirst.isNull() && first.isNull() && !Visible<frmIP>());
                  QVERIFY(state_->szNick == "host" && !state_->Ended());
                  QVERIFY(Click(intro, "btnServer"));
              }),
              ServerOk(), On<frmMain>([&](frmMain* main) {
                  QVERIFY(!main->bReset);
                  const std::function<void()> ways[] = {[main] { Trigger(main, "mnuFile_Exit"); },
                                                        [main] { main->close(); },
                                                        [main] { main->hide(); }};
                  ways[nWay]();
              })});
    }

    void commandLineSessionSkipsIntroAndDialogResetLeadsToTheIntro() {
        // What --host 0 --nick cli would store (0: a port the system picks, for the test).
        state_->nMode = zaplo::Mode::Server;
        state_->szNick = "cli";
        state_->nPort = 0;
        Play({On<frmMain>([&](frmMain* main) {
                  QVERIFY(!Visible<frmStart>() && !Visible<frmIP>());
                  QVERIFY(main->windowTitle().endsWith(QStringLiteral(" - cli (Server)")));
                  QVERIFY(main->Session()->ListeningPort() != 0);
                  Trigger(main, "mnuFile_Restart");
              }),
              Choose("btnClient"), On<frmIP>([](frmIP* dialog) {
                  // The dialog shows its own defaults, not the command line's values.
                  QCOMPARE(Box(dialog, "txtNick")->text(), QString());
                  QCOMPARE(Box(dialog, "txtPort")->text(), QStringLiteral("201"));
                  QVERIFY(Click(dialog, "btnCancel"));
              }),
              EscapeAtIntro()},
             true);
    }

    void joinAgainOpensANewSessionToTheSameHost() {
        // A host that takes connections and can drop them: each is a session of a window.
        QTcpServer host;
        JoinAt(ListenLow(host)); // a port the 16-bit setting can hold
        std::vector<QTcpSocket*> taken;
        connect(&host, &QTcpServer::newConnection,
                [&] { taken.push_back(host.nextPendingConnection()); });
        QPointer<frmMain> first;
        const auto item = [](frmMain* window) {
            return window->findChild<QAction*>(QStringLiteral("mnuJoinAgain"));
        };
        Play({[&] {
                  // Connected: the item is neither shown nor offered. Then the host drops it.
                  first = Visible<frmMain>();
                  if (first.isNull() || taken.size() != 1) {
                      return false;
                  }
                  Check(!item(first)->isVisible() && !item(first)->isEnabled());
                  taken[0]->abort();
                  return true;
              },
              [&] {
                  if (!item(first)->isEnabled()) {
                      return false;
                  }
                  Check(item(first)->isVisible());
                  Check(
                      first->StatusText().startsWith(QStringLiteral("Lost connection to server!")));
                  item(first)->trigger();
                  return true;
              },
              [&] {
                  // A new window and a new connection, neither the intro nor the dialog between.
                  frmMain* again = Visible<frmMain>();
                  if (again == nullptr || !first.isNull() || taken.size() != 2) {
                      return false;
                  }
                  Check(!Visible<frmStart>() && !Visible<frmIP>());
                  Check(again->windowTitle().endsWith(QStringLiteral(" - ann (Client)")));
                  Check(!item(again)->isVisible());
                  Trigger(again, "mnuFile_Exit");
                  return true;
              }},
             true);
    }

    void passwordDialogJoinsAgainAndAChosenSessionForgetsIt() {
        HeadlessHost hub(0, "hub", FreeLowPort());
        hub.Host().Access().SetPassword("pw");
        hub.Start();
        JoinAt(hub.state.nPort);
        QPointer<frmMain> first;
        Play({On<PasswordDialog>([&](PasswordDialog* dialog) {
                  first = Visible<frmMain>();
                  QTest::keyClicks(dialog->findChild<QLineEdit*>(QStringLiteral("txtPassword")),
                                   QStringLiteral("pw"));
                  QVERIFY(Click(dialog, "btnOK"));
              }),
              [&] {
                  // A new window to the same host, with the password, neither intro nor
                  // dialog between.
                  frmMain* again = Visible<frmMain>();
                  if (again == nullptr || !first.isNull() || again->UserRows().size() != 2) {
                      return false;
                  }
                  Check(again->UserRows() == Lines({"hub", "ann"}));
                  Check(!Visible<frmStart>() && !Visible<frmIP>());
                  Check(state_->szSessionPassword == std::optional<std::string>("pw"));
                  Trigger(again, "mnuFile_Restart");
                  return true;
              },
              Choose("btnServer"), ServerOk(), On<frmMain>([&](frmMain* main) {
                  // The host chosen on the start screen starts open: the typed password served
                  // that one host only.
                  QVERIFY(state_->szSessionPassword == std::nullopt);
                  QVERIFY(!main->Host()->Access().HasPassword());
                  Trigger(main, "mnuFile_Exit");
              })},
             true);
    }
};

QTEST_MAIN(TestStartupLoop)
#include "tst_StartupLoop.moc"
