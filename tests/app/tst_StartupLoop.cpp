#include "app/AppState.h"
#include "app/StartupLoop.h"
#include "ui/connect/frmIP.h"
#include "ui/main/frmMain.h"
#include "ui/start/frmStart.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <map>
#include <memory>
#include <vector>

using zaplo::AppState;
using zaplo::frmIP;
using zaplo::frmMain;
using zaplo::frmStart;
using zaplo::StartupLoop;

namespace {

template <class T> T* Visible() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<T*>(widget); window && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

template <class T> T* Child(QWidget* window, const char* szName) {
    return window ? window->findChild<T*>(QLatin1String(szName)) : nullptr;
}

// Counts how often each of the three windows is shown.
class WindowLog : public QObject {
public:
    WindowLog() { qApp->installEventFilter(this); }
    ~WindowLog() override { qApp->removeEventFilter(this); }
    int Shown(const char* szClass) const {
        const auto it = nShown_.find(szClass);
        return it == nShown_.end() ? 0 : it->second;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            ++nShown_[watched->metaObject()->className()];
        }
        return false;
    }

private:
    std::map<std::string, int> nShown_;
};

// Plays the user's part while the loop runs: each step waits until its condition holds, then
// acts. A step that waits too long, or a failed check, ends the program so that Run returns.
class Script : public QObject {
public:
    struct Step {
        const char* szWhat;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    Script(AppState& state, std::vector<Step> steps) : state_(state), steps_(std::move(steps)) {
        connect(&timerPoll_, &QTimer::timeout, this, &Script::Poll);
        timerPoll_.start(5);
        waited_.start();
    }

    void Check(bool bOk, const QString& szWhat) {
        if (!bOk && szFailure_.isEmpty() && iStep_ < steps_.size()) {
            szFailure_ =
                QStringLiteral("step '%1': %2").arg(QLatin1String(steps_[iStep_].szWhat), szWhat);
            Abort();
        }
    }

    bool Finished() const { return iStep_ == steps_.size() && szFailure_.isEmpty(); }
    QString Failure() const { return szFailure_; }

private:
    void Poll() {
        if (!szFailure_.isEmpty()) {
            return;
        }
        if (iStep_ == steps_.size()) {
            // The script is over: the loop must end now rather than show anything again.
            if (!state_.Ended() &&
                (Visible<frmStart>() || Visible<frmIP>() || Visible<frmMain>())) {
                szFailure_ = QStringLiteral("a window was shown after the last step");
                Abort();
            } else if (waited_.elapsed() > 60000) {
                szFailure_ = QStringLiteral("the loop did not end after the last step");
                Abort();
            }
            return;
        }
        if (!steps_[iStep_].ready()) {
            if (waited_.elapsed() > 60000) {
                szFailure_ = QStringLiteral("step '%1' never became ready")
                                 .arg(QLatin1String(steps_[iStep_].szWhat));
                Abort();
            }
            return;
        }
        steps_[iStep_].act();
        if (szFailure_.isEmpty()) {
            ++iStep_;
            waited_.restart();
        }
    }

    void Abort() {
        timerPoll_.stop();
        if (!state_.Ended()) {
            state_.EndProgram();
        }
        // Unblock whichever window the loop waits on.
        if (QWidget* dialog = Visible<frmIP>()) {
            dialog->hide();
        }
        if (QWidget* main = Visible<frmMain>()) {
            main->close();
        }
    }

    AppState& state_;
    std::vector<Step> steps_;
    std::size_t iStep_ = 0;
    QString szFailure_;
    QTimer timerPoll_;
    QElapsedTimer waited_;
};

#define SCRIPT_CHECK(script, cond) (script).Check((cond), QStringLiteral(#cond))

} // namespace

class TestStartupLoop : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<AppState> state_;
    std::unique_ptr<Script> script_;
    std::unique_ptr<WindowLog> log_;

    // Runs the loop with the script; returns what went wrong, or nothing.
    QString Play(std::vector<Script::Step> steps) {
        script_ = std::make_unique<Script>(*state_, std::move(steps));
        {
            StartupLoop loop(*state_);
            loop.Run();
        }
        if (!script_->Failure().isEmpty()) {
            return script_->Failure();
        }
        if (!script_->Finished()) {
            return QStringLiteral("the loop ended before the script did");
        }
        if (!state_->Ended()) {
            return QStringLiteral("the loop returned without ending the program");
        }
        if (Visible<frmStart>() || Visible<frmIP>() || Visible<frmMain>()) {
            return QStringLiteral("a window outlived the loop");
        }
        return {};
    }

    Script& S() { return *script_; }

    // Steps shared by the scenarios.
    Script::Step ChooseMode(const char* szButton, QPointer<frmStart>* pIntro = nullptr) {
        return {"choose a mode", [] { return Visible<frmStart>() != nullptr; },
                [this, szButton, pIntro] {
                    frmStart* intro = Visible<frmStart>();
                    if (pIntro) {
                        *pIntro = intro;
                    }
                    auto* button = Child<QAbstractButton>(intro, szButton);
                    SCRIPT_CHECK(S(), button != nullptr);
                    if (button) {
                        QTest::mouseClick(button, Qt::LeftButton);
                    }
                }};
    }

    static bool DialogShown() { return Visible<frmIP>() != nullptr; }

    // OK in server mode; the dialog stores its default port, which the test then swaps for
    // one the system picks, before the main window starts listening.
    Script::Step ServerOk(const char* szNick) {
        return {"confirm the dialog", &DialogShown, [this, szNick] {
                    frmIP* dialog = Visible<frmIP>();
                    SCRIPT_CHECK(S(), state_->nMode == 0);
                    SCRIPT_CHECK(S(), !Child<QLineEdit>(dialog, "txtIP")->isVisible());
                    Child<QLineEdit>(dialog, "txtNick")->setText(QLatin1String(szNick));
                    QTest::mouseClick(Child<QAbstractButton>(dialog, "btnOK"), Qt::LeftButton);
                    SCRIPT_CHECK(S(), !dialog->isVisible());
                    SCRIPT_CHECK(S(), state_->nPort == 201);
                    SCRIPT_CHECK(S(), state_->szNick == szNick);
                    state_->nPort = 0;
                }};
    }

    static Script::Step EndAtIntro() {
        return {"press Escape on the start screen", [] { return Visible<frmStart>() != nullptr; },
                [] { QTest::keyClick(Visible<frmStart>(), Qt::Key_Escape); }};
    }

private Q_SLOTS:
    void init() {
        state_ = std::make_unique<AppState>();
        state_->onEnd = nullptr;
        state_->szListenHost = "127.0.0.1";
        log_ = std::make_unique<WindowLog>();
    }
    void cleanup() {
        script_.reset();
        log_.reset();
        state_.reset();
    }

    void serverSessionResetReturnsToAFreshIntro() {
        QPointer<frmStart> introFirst;
        QPointer<frmMain> main;
        const QString szFailure =
            Play({ChooseMode("btnServer", &introFirst),
                  ServerOk("host"),
                  {"reset the session", [] { return Visible<frmMain>() != nullptr; },
                   [&] {
                       main = Visible<frmMain>();
                       SCRIPT_CHECK(S(), introFirst.isNull()); // each intro has its own window
                       auto* reset = main->findChild<QAction*>(QStringLiteral("mnuFile_Restart"));
                       SCRIPT_CHECK(S(), reset != nullptr);
                       if (reset) {
                           reset->trigger();
                       }
                   }},
                  {"look at the next intro", [] { return Visible<frmStart>() != nullptr; },
                   [&] {
                       SCRIPT_CHECK(S(), main.isNull());
                       SCRIPT_CHECK(S(), !Visible<frmIP>());
                       // The settings outlive the session until the next OK.
                       SCRIPT_CHECK(S(), state_->szNick == "host");
                       SCRIPT_CHECK(S(), !state_->Ended());
                   }},
                  EndAtIntro()});
        QVERIFY2(szFailure.isEmpty(), qPrintable(szFailure));
        QCOMPARE(log_->Shown("zaplo::frmStart"), 2);
        QCOMPARE(log_->Shown("zaplo::frmIP"), 1);
        QCOMPARE(log_->Shown("zaplo::frmMain"), 1);
    }

    void cancelKeepsEntriesCloseBoxRestoresDefaults() {
        QPointer<frmIP> dialogFirst;
        const QString szFailure = Play(
            {ChooseMode("btnClient"),
             {"type and cancel", &DialogShown,
              [&] {
                  dialogFirst = Visible<frmIP>();
                  SCRIPT_CHECK(S(), state_->nMode == 1);
                  SCRIPT_CHECK(S(), Child<QLineEdit>(dialogFirst, "txtIP")->isVisible());
                  Child<QLineEdit>(dialogFirst, "txtNick")->setText(QStringLiteral("alice"));
                  Child<QLineEdit>(dialogFirst, "txtIP")->setText(QStringLiteral("10.1.2.3"));
                  Child<QLineEdit>(dialogFirst, "txtPort")->setText(QStringLiteral("5000"));
                  QTest::mouseClick(Child<QAbstractButton>(dialogFirst, "btnCancel"),
                                    Qt::LeftButton);
              }},
             ChooseMode("btnClient"),
             {"find the entries again and use the close box", &DialogShown,
              [&] {
                  frmIP* dialog = Visible<frmIP>();
                  SCRIPT_CHECK(S(), dialog == dialogFirst.data());
                  SCRIPT_CHECK(S(), Child<QLineEdit>(dialog, "txtNick")->text() == u"alice");
                  SCRIPT_CHECK(S(), Child<QLineEdit>(dialog, "txtIP")->text() == u"10.1.2.3");
                  SCRIPT_CHECK(S(), Child<QLineEdit>(dialog, "txtPort")->text() == u"5000");
                  SCRIPT_CHECK(S(), state_->szNick.empty() && state_->nPort == 0);
                  dialog->close();
              }},
             ChooseMode("btnServer"),
             {"find the defaults and cancel", &DialogShown,
              [&] {
                  frmIP* dialog = Visible<frmIP>();
                  SCRIPT_CHECK(S(), dialogFirst.isNull());
                  SCRIPT_CHECK(S(), Child<QLineEdit>(dialog, "txtNick")->text().isEmpty());
                  SCRIPT_CHECK(S(), Child<QLineEdit>(dialog, "txtIP")->text() == u"127.0.0.1");
                  SCRIPT_CHECK(S(), Child<QLineEdit>(dialog, "txtPort")->text() == u"201");
                  QTest::mouseClick(Child<QAbstractButton>(dialog, "btnCancel"), Qt::LeftButton);
              }},
             EndAtIntro()});
        QVERIFY2(szFailure.isEmpty(), qPrintable(szFailure));
        QCOMPARE(log_->Shown("zaplo::frmStart"), 4);
        QCOMPARE(log_->Shown("zaplo::frmIP"), 3);
        QCOMPARE(log_->Shown("zaplo::frmMain"), 0);
        QVERIFY(state_->szNick.empty());
    }

    void nextIntroGoesOnFromThePreviousOne() {
        // The pointer crosses Server last in the first intro; the next intro explains the
        // server mode without any pointer movement of its own.
        QString szFirstText;
        QString szServerText;
        auto explain = [] { return Child<QLabel>(Visible<frmStart>(), "lblExplain"); };
        const QString szFailure =
            Play({{"let the first explanation appear",
                   [&] {
                       QLabel* label = explain();
                       return label && label->text() != QLatin1String("Gathering...");
                   },
                   [&] {
                       szFirstText = explain()->text();
                       QTest::mouseMove(Child<QWidget>(Visible<frmStart>(), "btnServer"));
                   }},
                  {"let the server explanation appear",
                   [&] { return explain() && explain()->text() != szFirstText; },
                   [&] {
                       szServerText = explain()->text();
                       // Off the button again, then pick Client without the pointer.
                       QTest::mouseMove(Visible<frmStart>(), QPoint(300, 300));
                       Child<QAbstractButton>(Visible<frmStart>(), "btnClient")->click();
                   }},
                  {"cancel the dialog", &DialogShown,
                   [] {
                       QTest::mouseClick(Child<QAbstractButton>(Visible<frmIP>(), "btnCancel"),
                                         Qt::LeftButton);
                   }},
                  {"let the second intro explain",
                   [&] {
                       return explain() && (explain()->text() == szFirstText ||
                                            explain()->text() == szServerText);
                   },
                   [&] { SCRIPT_CHECK(S(), explain()->text() == szServerText); }},
                  EndAtIntro()});
        QVERIFY2(szFailure.isEmpty(), qPrintable(szFailure));
        QCOMPARE(log_->Shown("zaplo::frmStart"), 2);
    }

    void sessionWithoutResetIsTheLast_data() {
        QTest::addColumn<QString>("szWay");
        QTest::newRow("Exit") << QStringLiteral("exit");
        QTest::newRow("close box") << QStringLiteral("close");
        // However the window goes away, a session without Reset ends the program.
        QTest::newRow("hidden") << QStringLiteral("hide");
    }
    void sessionWithoutResetIsTheLast() {
        QFETCH(QString, szWay);
        const QString szFailure =
            Play({ChooseMode("btnServer"),
                  ServerOk("host"),
                  {"leave the main window", [] { return Visible<frmMain>() != nullptr; },
                   [&] {
                       frmMain* main = Visible<frmMain>();
                       SCRIPT_CHECK(S(), !main->bReset);
                       if (szWay == u"exit") {
                           auto* exit = main->findChild<QAction*>(QStringLiteral("mnuFile_Exit"));
                           SCRIPT_CHECK(S(), exit != nullptr);
                           if (exit) {
                               exit->trigger();
                           }
                       } else if (szWay == u"close") {
                           main->close();
                       } else {
                           main->hide();
                       }
                   }}});
        QVERIFY2(szFailure.isEmpty(), qPrintable(szFailure));
        QCOMPARE(log_->Shown("zaplo::frmStart"), 1);
        QCOMPARE(log_->Shown("zaplo::frmMain"), 1);
    }

    void introEndsTheProgramBeforeTheDialog_data() {
        QTest::addColumn<bool>("bCloseBox");
        QTest::newRow("Escape") << false;
        QTest::newRow("close box") << true;
    }
    void introEndsTheProgramBeforeTheDialog() {
        QFETCH(bool, bCloseBox);
        const QString szFailure =
            Play({{"leave the intro", [] { return Visible<frmStart>() != nullptr; },
                   [&] {
                       frmStart* intro = Visible<frmStart>();
                       if (bCloseBox) {
                           intro->close();
                       } else {
                           QTest::keyClick(intro, Qt::Key_Escape);
                       }
                   }}});
        QVERIFY2(szFailure.isEmpty(), qPrintable(szFailure));
        QCOMPARE(log_->Shown("zaplo::frmStart"), 1);
        QCOMPARE(log_->Shown("zaplo::frmIP"), 0);
        QCOMPARE(log_->Shown("zaplo::frmMain"), 0);
    }
};

QTEST_MAIN(TestStartupLoop)
#include "tst_StartupLoop.moc"
