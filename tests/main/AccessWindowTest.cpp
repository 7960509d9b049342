// SPDX-License-Identifier: MIT
// Who may join, through the real windows: a client window asked for the password of a protected
// session, and the host's Session Password..., Ban and Bans... A server window and client
// windows in one process, with bare peers where the exact bytes matter.
#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/SessionHost.h"
#include "tests/main/WindowTestBase.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"
#include "ui/main/frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace zaplo;

namespace {

// What a client's password dialog showed when it came up.
struct Asked {
    bool bWrong = false;
    bool bEchoHidden = false;
    QString szPrompt;
};

} // namespace

class AccessWindowTest : public WindowTestBase {
    Q_OBJECT

    template <class T = QWidget> static T* Child(QWidget* parent, const char* name) {
        return parent->findChild<T*>(S(name));
    }

    // Answers the next password dialog: types szTyped and clicks OK, or Cancel when szTyped is
    // empty; tells what it showed.
    void AnswerPassword(Asked& asked, const QString& szTyped) {
        onModal_ = [&asked, szTyped](QWidget* modal) {
            QCOMPARE(modal->objectName(), S("dlgPassword"));
            auto* box = Child<QLineEdit>(modal, "txtPassword");
            asked.bWrong = Child(modal, "lblWrong")->isVisible();
            asked.bEchoHidden = box->echoMode() == QLineEdit::Password;
            asked.szPrompt = Child<QLabel>(modal, "lblPrompt")->text();
            // OK waits for something typed.
            QVERIFY(!Child<QPushButton>(modal, "btnOK")->isEnabled());
            if (szTyped.isEmpty()) {
                QTest::mouseClick(Child<QPushButton>(modal, "btnCancel"), Qt::LeftButton);
                return;
            }
            QTest::keyClicks(box, szTyped);
            QTest::mouseClick(Child<QPushButton>(modal, "btnOK"), Qt::LeftButton);
        };
    }
    // Fills the next Session Password dialog: typed twice, then the button named szButton.
    void SetPasswordBy(const QString& szTyped, const char* szButton, bool& bRemovable) {
        onModal_ = [=, &bRemovable](QWidget* modal) {
            QCOMPARE(modal->objectName(), S("dlgSessionPassword"));
            auto* set = Child<QPushButton>(modal, "btnSetPassword");
            bRemovable = Child<QPushButton>(modal, "btnRemovePassword")->isEnabled();
            QVERIFY(!set->isEnabled()); // nothing typed
            if (!szTyped.isEmpty()) {
                // Typed as an input method gives text that no key of the test's keyboard has.
                Child<QLineEdit>(modal, "txtNewPassword")->insert(szTyped);
                Child<QLineEdit>(modal, "txtRepeatPassword")->insert(szTyped + S("?"));
                // Two that differ cannot be set.
                QVERIFY(!set->isEnabled());
                QCOMPARE(Child<QLabel>(modal, "lblHint")->text(), S("The two passwords differ."));
                QTest::keyClick(Child<QLineEdit>(modal, "txtRepeatPassword"), Qt::Key_Backspace);
                QVERIFY(set->isEnabled());
                QCOMPARE(Child<QLabel>(modal, "lblHint")->text(), QString());
            }
            QTest::mouseClick(Child<QPushButton>(modal, szButton), Qt::LeftButton);
        };
    }
    // A bare peer's whole conversation: everything it got until the host closed it.
    QByteArray Refusal(RawPeer& raw) {
        return raw.WaitState(QAbstractSocket::UnconnectedState) ? raw.got : "(not closed)";
    }

private Q_SLOTS:
    void initTestCase() { StartModalWatch(); }
    void cleanup() { CloseParties(); }

    void clientAsksForThePasswordAndJoinsWithTheRightOne() {
        frmMain& host = Host("open sesame");
        QVERIFY(host.Host()->Access().HasPassword()); // the window's server starts with the state's
        Asked asked;
        AnswerPassword(asked, S("open sesam"));
        Party& ann = Open(Mode::Client, "ann");
        // Without a password: refused, asked, and the typed one is tried in a new session.
        QTRY_VERIFY(!ann.w->isVisible());
        QVERIFY(!asked.bWrong && asked.bEchoHidden);
        QCOMPARE(asked.szPrompt, S("This session needs a password."));
        QVERIFY(ann.w->StatusText().startsWith(S("Lost connection to server!\r\n"
                                                 "This session needs a password.\r\n")));
        QVERIFY(ann.w->bJoinAgain && ann.w->bReset && !ann.state->Ended());
        QCOMPARE(ann.state->szSessionPassword, std::optional<std::string>("open sesam"));
        QVERIFY(!Listed(host, "ann"));

        // The wrong one: the dialog says so and asks again.
        AnswerPassword(asked, S("open sesame"));
        Show(ann);
        QTRY_VERIFY(!ann.w->isVisible());
        QVERIFY(asked.bWrong);
        QVERIFY(ann.w->StatusText().contains(S("Wrong password.\r\n")));
        QCOMPARE(ann.state->szSessionPassword, std::optional<std::string>("open sesame"));

        // The right one joins; nothing more is asked.
        Show(ann);
        QTRY_VERIFY(Listed(*ann.w, "ann"));
        QVERIFY(ann.w->StatusText().startsWith(S("ann has joined!\r\n")));
        QVERIFY(Listed(host, "ann") && !ann.w->bReset);
        QTest::qWait(50); // a dialog shown now would be one too many
        QVERIFY(onModal_ == nullptr && QApplication::activeModalWidget() == nullptr);
        QVERIFY(ann.w->isVisible());
    }

    void cancelLeavesTheSessionAsAFailedJoinDoes() {
        frmMain& host = Host("pw");
        Asked asked;
        AnswerPassword(asked, QString());
        Party& bob = Open(Mode::Client, "bob", "not it");
        QTRY_VERIFY(onModal_ == nullptr);
        // Asked after the wrong answer; Cancel keeps the window, which now returns to the start
        // screen and offers Join Again, as after "Connection failed!".
        QVERIFY(asked.bWrong);
        QTRY_VERIFY(bob.w->bReset);
        QVERIFY(bob.w->isVisible() && !bob.w->bJoinAgain);
        QAction* again = Action(*bob.w, "mnuJoinAgain");
        QVERIFY(again->isVisible() && again->isEnabled());
        QCOMPARE(bob.state->szSessionPassword, std::optional<std::string>("not it"));
        QVERIFY(!Listed(host, "bob") && bob.w->UserRows().empty());
        // The close box now leads back to the start screen instead of ending the program.
        bob.w->close();
        QVERIFY(!bob.state->Ended());
    }

    void banDisconnectsAndRefusesTheAddressUntilLifted() {
        frmMain& host = Host();
        Party& ann = Open(Mode::Client, "ann");
        QTRY_VERIFY(Listed(host, "ann"));
        QMenu* menu = ContextMenuAt(host, 1);
        QVERIFY(menu != nullptr);
        QStringList items;
        for (QAction* item : menu->actions()) {
            items << item->text();
        }
        QCOMPARE(items, (QStringList{S("Disconnect"), S("Ban")}));
        menu->actions().at(1)->trigger();
        QTRY_VERIFY(host.StatusText().contains(S("ann has been disconnected!\r\n")));
        QVERIFY(host.StatusText().startsWith(S("Banned 127.0.0.1 for this session.\r\n")));
        QCOMPARE(host.UserRows(), (Lines{"host"}));
        QTRY_VERIFY(ann.w->StatusText().startsWith(S("Lost connection to server!\r\n")));
        QCOMPARE(host.Host()->Access().Bans(), (Lines{"127.0.0.1"}));
        // Another connection from that address hears why, and nothing else.
        {
            RawPeer raw(static_cast<uint16_t>(nPort_));
            QCOMPARE(Refusal(raw), QByteArray("{9}You are banned from this session.\r\n"));
        }
        QVERIFY(!host.StatusText().contains(S("raw")));

        // Bans... lists it; Lift Ban lifts the selected one.
        QStringList listed;
        bool bLiftWithoutChoice = true;
        bool bNoneShown = false;
        onModal_ = [&](QWidget* modal) {
            QCOMPARE(modal->objectName(), S("dlgBans"));
            auto* list = Child<QListWidget>(modal, "lstBans");
            for (int i = 0; i < list->count(); ++i) {
                listed << list->item(i)->text();
            }
            auto* lift = Child<QPushButton>(modal, "btnLiftBan");
            bLiftWithoutChoice = lift->isEnabled();
            list->setCurrentRow(0);
            QTest::mouseClick(lift, Qt::LeftButton);
            bNoneShown = list->count() == 0 && Child(modal, "lblNoBans")->isVisible();
            QTest::mouseClick(Child<QPushButton>(modal, "btnClose"), Qt::LeftButton);
        };
        Action(host, "mnuBans")->trigger();
        QCOMPARE(listed, QStringList{S("127.0.0.1")});
        QVERIFY(!bLiftWithoutChoice && bNoneShown);
        QVERIFY(host.Host()->Access().Bans().empty()); // tst_Access joins after a lift
        // A client window's list offers no menu, and its File menu neither item.
        QVERIFY(ContextMenuAt(*ann.w, 0) == nullptr);
        QVERIFY(Action(*ann.w, "mnuBans") == nullptr);
        QVERIFY(Action(*ann.w, "mnuSessionPassword") == nullptr);
    }

    void sessionPasswordSetsAndRemovesForNewConnections() {
        frmMain& host = Host();
        QVERIFY(!host.Host()->Access().HasPassword());
        // Open at first: a newcomer is answered at once, without any challenge.
        RawPeer before(static_cast<uint16_t>(nPort_));
        QVERIFY(before.WaitState(QAbstractSocket::ConnectedState));
        before.Send("{2}early\r\n");
        QCOMPARE(before.TakeThrough("{8}"),
                 QByteArray("{9}early has joined!\r\n{8}host;early;\r\n"));

        bool bRemovable = true;
        SetPasswordBy(S("p\u00e4ss"), "btnSetPassword", bRemovable);
        Action(host, "mnuSessionPassword")->trigger();
        QVERIFY(!bRemovable); // nothing to remove yet
        QVERIFY(host.Host()->Access().HasPassword());
        QVERIFY(
            host.StatusText().startsWith(S("Users who join from now on need the password.\r\n")));
        {
            // A newcomer is challenged; one who answers nothing and joins is refused.
            RawPeer raw(static_cast<uint16_t>(nPort_));
            QVERIFY(raw.WaitBytes(36));
            QVERIFY2(QRegularExpression(S("^\\{12\\}[0-9a-f]{32}\r\n$"))
                         .match(QString::fromLatin1(raw.got))
                         .hasMatch(),
                     raw.got.constData());
            raw.got.clear();
            raw.Send("{2}late\r\n");
            QCOMPARE(Refusal(raw), QByteArray("{9}This session needs a password.\r\n"));
        }
        // A window with the password (as its UTF-8 bytes) joins; the one present stays.
        Party& ann = Open(Mode::Client, "ann", "p\xc3\xa4ss");
        QTRY_VERIFY(Listed(host, "ann"));
        QVERIFY(Listed(host, "early"));

        // Removed: open again, as before.
        SetPasswordBy(QString(), "btnRemovePassword", bRemovable);
        Action(host, "mnuSessionPassword")->trigger();
        QVERIFY(bRemovable);
        QVERIFY(!host.Host()->Access().HasPassword());
        QVERIFY(host.StatusText().startsWith(S("The session needs no password any more.\r\n")));
        RawPeer after(static_cast<uint16_t>(nPort_));
        QVERIFY(after.WaitState(QAbstractSocket::ConnectedState));
        after.Send("{2}open\r\n");
        QCOMPARE(after.TakeThrough("{8}"),
                 QByteArray("{9}open has joined!\r\n{8}host;early;ann;open;\r\n"));
        // Cancel changes nothing.
        onModal_ = [](QWidget* modal) {
            QTest::keyClicks(Child<QLineEdit>(modal, "txtNewPassword"), S("x"));
            QTest::keyClicks(Child<QLineEdit>(modal, "txtRepeatPassword"), S("x"));
            QTest::mouseClick(Child<QPushButton>(modal, "btnCancel"), Qt::LeftButton);
        };
        Action(host, "mnuSessionPassword")->trigger();
        QVERIFY(!host.Host()->Access().HasPassword());
        QVERIFY(ann.w->isVisible());
    }
};

QTEST_MAIN(AccessWindowTest)
#include "AccessWindowTest.moc"
