// SPDX-License-Identifier: MIT
// The boxes of the main window against what a peer may send: bounded lines, bytes and rows,
// overlong lines of hostile characters, a chat flood through a server window and a hostile
// host's join flood against a client window.
#include "base/AppState.h"
#include "net/NetSession.h"
#include "tests/support/HeadlessHost.h"
#include "tests/support/RawPeer.h"
#include "ui/main/LogBox.h"
#include "ui/main/UserListBox.h"
#include "ui/main/frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace zaplo;

namespace {

std::unique_ptr<AppState> NewState(Mode nMode, const std::string& szNick, int16_t nPort) {
    auto state = std::make_unique<AppState>();
    state->onEnd = nullptr;
    state->szListenHost = state->szServerIP = "127.0.0.1";
    state->nMode = nMode;
    state->szNick = szNick;
    state->nPort = nPort;
    return state;
}

// Characters of the screen's text for the box (the document's, separators included).
int ScreenChars(const LogBox& box) {
    return box.document()->characterCount();
}

} // namespace

class BoxesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void logKeepsTheNewestLinesWithinTheLineAndByteBounds() {
        LogBox box;
        const std::size_t nExtra = 5;
        for (std::size_t i = 0; i < LogBox::kMaxLines + nExtra; ++i) {
            box.AddLine(QStringLiteral("line %1").arg(i));
        }
        QCOMPARE(box.Lines(), LogBox::kMaxLines);
        const QString text = box.Text();
        QVERIFY(text.startsWith(QStringLiteral("line %1\r\n").arg(LogBox::kMaxLines + nExtra - 1)));
        QVERIFY(text.endsWith(QStringLiteral("\r\nline %1\r\n").arg(nExtra)));
        QCOMPARE(static_cast<std::size_t>(text.count(QStringLiteral("\r\n"))), LogBox::kMaxLines);
        box.ShowPending();
        // Short lines: the screen's line bound holds (it is trimmed to three quarters when passed).
        QVERIFY(box.ShownLines() <= LogBox::kScreenLines);
        QVERIFY(box.ShownLines() >= LogBox::kScreenLines * 3 / 4);
        QCOMPARE(box.document()->blockCount(), static_cast<int>(box.ShownLines()));

        // Long lines meet the byte bound first: as many whole lines as fit, counted two bytes a
        // character with the CR LF.
        LogBox big;
        const qsizetype nChars = 100'000;
        const std::size_t nFit = LogBox::kMaxBytes / (2 * (nChars + 2));
        for (int i = 0; i < 60; ++i) {
            big.AddLine(QString::number(i % 10).repeated(nChars));
        }
        QCOMPARE(big.Lines(), nFit);
        QCOMPARE(big.Bytes(), nFit * 2 * (nChars + 2));
        QVERIFY(big.Text().startsWith(QStringLiteral("9999")));
        QCOMPARE(big.Text().size(), static_cast<qsizetype>(nFit) * (nChars + 2));
    }

    void ordinaryLinesShowAsTheyAreNewestFirst() {
        LogBox box;
        box.AddLine(QStringLiteral("a"));
        box.AddLine(QStringLiteral("b <i>c</i>\r\nd"));
        QCOMPARE(box.Text(), QStringLiteral("b <i>c</i>\r\nd\r\na\r\n"));
        QCOMPARE(box.toPlainText(), QStringLiteral("b <i>c</i>\u240D\u240Ad\na"));
        const QString ordinary = QStringLiteral("{ann}") + QStringLiteral("word ").repeated(390);
        QCOMPARE(LogBox::Shown(ordinary), ordinary); // nearly kShownChars: shown in full
    }

    void anOverlongLineIsShownCutAndKeptWholeAtLinearCost() {
        LogBox box;
        box.resize(200, 395);
        box.show();
        const QString huge = QStringLiteral("{bad}") + QString(256 * 1024 - 5, u'W');
        QElapsedTimer timer;
        timer.start();
        // Each line is put on screen at once here, whatever the box's pacing would do.
        box.AddLine(huge);
        box.ShowPending();
        QApplication::processEvents(); // the paint that follows
        const qint64 nFirstMs = timer.restart();
        box.AddLine(QStringLiteral("next"));
        box.ShowPending();
        QApplication::processEvents();
        const qint64 nNextMs = timer.elapsed();
        // Generous bounds for a loaded machine under sanitizers; the figures are the bench's.
        QVERIFY2(nFirstMs < 3000, qPrintable(QString::number(nFirstMs)));
        QVERIFY2(nNextMs < 1000, qPrintable(QString::number(nNextMs)));
        QCOMPARE(box.Text(), QStringLiteral("next\r\n") + huge + QStringLiteral("\r\n"));
        const QString shown = box.document()->findBlockByNumber(1).text();
        QVERIFY(shown.startsWith(huge.left(LogBox::kShownChars)));
        QVERIFY(shown.endsWith(
            QStringLiteral("[%1 more characters]").arg(huge.size() - LogBox::kShownChars)));
        // Selecting part of the cut line copies the whole of it.
        QTextCursor cursor(box.document()->findBlockByNumber(1));
        cursor.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 3);
        box.setTextCursor(cursor);
        QCOMPARE(box.SelectedLines(), huge + QStringLiteral("\r\n"));
        cursor.movePosition(QTextCursor::Start, QTextCursor::KeepAnchor);
        box.setTextCursor(cursor);
        QCOMPARE(box.SelectedLines(), box.Text());

        // Other hostile characters are cut the same way; combining marks on one character are
        // shown only up to a few.
        for (const QString& hostile :
             {QString(200'000, QChar(0)), QString(200'000, QChar::ReplacementCharacter),
              QString(200'000, QChar(0x202E)), u'a' + QString(200'000, QChar(0x0301))}) {
            LogBox other;
            other.AddLine(hostile);
            QCOMPARE(other.Text(), hostile + QStringLiteral("\r\n"));
            QVERIFY(ScreenChars(other) < LogBox::kShownChars + 100);
        }
        const QString marks = LogBox::Shown(u'a' + QString(50, QChar(0x0301)) + u'b');
        QCOMPARE(marks, u'a' + QString(LogBox::kShownMarks, QChar(0x0301)) + u'b');
    }

    void aChatFloodThroughAServerWindowKeepsItsBoxesBounded() {
        auto state = NewState(Mode::Server, "host", 0);
        frmMain window(*state);
        auto* chat = window.findChild<LogBox*>(QStringLiteral("txtChatBox"));
        QVERIFY(chat && window.Session());
        window.show();
        RawPeer peer(window.Session()->ListeningPort());
        QVERIFY(peer.WaitState(QTcpSocket::ConnectedState));
        peer.Send("{2}flood\r\n");
        QVERIFY(peer.TakeThrough("{8}").endsWith(";\r\n"));
        // Enough short lines to pass the line bound, then a few long ones that the screen cuts
        // (the byte bound, which takes megabytes, is the box's test above).
        const int nShort = static_cast<int>(LogBox::kMaxLines) + 500;
        const int nLong = 20;
        QByteArray block;
        for (int i = 0; i < nShort + nLong; ++i) {
            block += i < nShort ? "{1}{flood}short " + QByteArray::number(i) + "\r\n"
                                : "{1}{flood}" + QByteArray(40'000, 'w') + "\r\n";
            if (block.size() > 60'000) {
                peer.Send(std::exchange(block, {}));
            }
        }
        peer.Send(block + "{1}{flood}end\r\n");
        // Every line went through: the last one's echo comes back.
        QVERIFY(QTest::qWaitFor(
            [&] {
                if (peer.got.contains("{1}{flood}end\r\n")) {
                    return true;
                }
                peer.got = peer.got.right(32);
                return false;
            },
            15000));
        QCOMPARE(chat->Lines(), LogBox::kMaxLines);
        QVERIFY(chat->Bytes() <= LogBox::kMaxBytes);
        QVERIFY(chat->Text().endsWith(
            QStringLiteral("{flood}short %1\r\n").arg(nShort + nLong + 1 - LogBox::kMaxLines)));
        QVERIFY(chat->Text().startsWith(QStringLiteral("{flood}end\r\n{flood}www")));
        QTRY_VERIFY(chat->toPlainText().startsWith(QStringLiteral("{flood}end\n")));
        QVERIFY(ScreenChars(*chat) <= static_cast<int>(LogBox::kScreenChars) + 100);
        QVERIFY(chat->ShownLines() <= chat->Lines());
    }

    void theUserListHoldsAtMostASessionsRowsAndIgnoresUnknownDepartures() {
        UserListBox list;
        for (std::size_t i = 0; i < UserListBox::kMaxRows + 100; ++i) {
            list.AddUsername("u" + std::to_string(i), static_cast<int16_t>(i % 30'000));
        }
        QCOMPARE(list.Rows(), UserListBox::kMaxRows);
        QCOMPARE(list.UserRows().back(), "u" + std::to_string(UserListBox::kMaxRows - 1));
        QTRY_COMPARE(static_cast<std::size_t>(list.count()), UserListBox::kMaxRows);
        list.RemoveUsername(-5); // no such slot: nothing changes
        QCOMPARE(list.Rows(), UserListBox::kMaxRows);
        // Slot 7 owns rows 7 and 30,007: the first goes, on screen too.
        list.RemoveUsername(7);
        QCOMPARE(list.Rows(), UserListBox::kMaxRows - 1);
        QCOMPARE(list.item(7)->text(), QStringLiteral("u8"));
        QCOMPARE(list.SlotNickname(7), "u30007");
        list.AddUsername("last", 1); // room for one again
        QCOMPARE(list.Rows(), UserListBox::kMaxRows);
        list.RefreshUserlist();
        QCOMPARE(list.count(), 0);
        list.AddUsername("a", -1);
        list.AddUsername("b", -1);
        list.RemoveUsername(-1);
        QTRY_COMPARE(list.count(), 1);
        QCOMPARE(list.item(0)->text(), QStringLiteral("b"));
    }

    void aHostileHostsJoinFloodLeavesAClientWindowResponsiveAndCapped() {
        QTcpServer hostile;
        const int16_t nPort = ListenLow(hostile);
        auto state = NewState(Mode::Client, "victim", nPort);
        frmMain window(*state);
        window.show();
        QVERIFY(hostile.hasPendingConnections() || hostile.waitForNewConnection(5000));
        QTcpSocket* host = hostile.nextPendingConnection();
        auto* list = window.findChild<UserListBox*>(QStringLiteral("listUsers"));
        auto* status = window.findChild<LogBox*>(QStringLiteral("txtStatus"));
        QVERIFY(list && status);
        // The window's event loop is timed while the joins arrive.
        QElapsedTimer since;
        since.start();
        qint64 nLongestGap = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { nLongestGap = std::max(nLongestGap, since.restart()); });
        ticker.start(5);
        const int nJoins = static_cast<int>(UserListBox::kMaxRows) + 7'000;
        QByteArray block;
        for (int i = 0; i < nJoins; ++i) {
            block += "{2}u" + QByteArray::number(i) + "\r\n";
            if (block.size() > 32'000 || i + 1 == nJoins) {
                host->write(std::exchange(block, {}));
            }
        }
        QTRY_VERIFY_WITH_TIMEOUT(
            status->Text().startsWith(QStringLiteral("u%1 has joined!\r\n").arg(nJoins - 1)),
            15000);
        QCOMPARE(list->Rows(), UserListBox::kMaxRows);
        QTRY_COMPARE(static_cast<std::size_t>(list->count()), UserListBox::kMaxRows);
        QCOMPARE(status->Lines(), LogBox::kMaxLines);
        QVERIFY2(nLongestGap < 2000, qPrintable(QString::number(nLongestGap)));
        // A user list then replaces them all at once.
        host->write("{8}host;victim;\r\n");
        QTRY_COMPARE(list->count(), 2);
        QCOMPARE(window.UserRows(), (std::vector<std::string>{"host", "victim"}));
    }
};

QTEST_MAIN(BoxesTest)
#include "tst_Boxes.moc"
