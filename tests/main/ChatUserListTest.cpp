// Chat input, chat box, status log and user list.
#include "MainTestSupport.h"

#include "app/AppState.h"
#include "ui/main/ChatInput.h"
#include "ui/main/LogBox.h"
#include "ui/main/frmMain.h"

#include <QListWidget>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <deque>
#include <memory>

using zaplo::AppState;
using zaplo::frmMain;

namespace {

using Queue = std::deque<std::string>;
using Rows = std::vector<std::string>;

QStringList ListTexts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    return texts;
}

} // namespace

class ChatUserListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void newestLineFirstEachEndedByCrLf() {
        zaplo::LogBox box;
        box.resize(150, 70);
        box.show();
        QCOMPARE(box.Text(), QString());
        box.AddLine(QStringLiteral("a"));
        box.AddLine(QStringLiteral("b"));
        QCOMPARE(box.Text(), QStringLiteral("b\r\na\r\n"));
        box.AddLine(QString());
        QCOMPARE(box.Text(), QStringLiteral("\r\nb\r\na\r\n"));
        // A lone CR or LF from a peer does not split the line.
        box.AddLine(QStringLiteral("x\ny\rz"));
        QCOMPARE(box.LineCount(), 4);
        QCOMPARE(box.document()->blockCount(), 4);
        QVERIFY(box.Text().startsWith(QStringLiteral("x\u240Ay\u240Dz\r\n")));
        // The box shows its top after every line, even when the user scrolled away.
        for (int i = 0; i < 50; ++i) {
            box.AddLine(QStringLiteral("line %1").arg(i));
        }
        box.verticalScrollBar()->setValue(box.verticalScrollBar()->maximum());
        QVERIFY(box.verticalScrollBar()->value() > 0);
        box.AddLine(QStringLiteral("newest"));
        QCOMPARE(box.verticalScrollBar()->value(), 0);
        QCOMPARE(box.textCursor().position(), 0);
        QVERIFY(box.Text().startsWith(QStringLiteral("newest\r\nline 49\r\n")));
    }

    void enterSendsAChatLineInServerMode() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "pen42");
        frmMain w(state);
        state.colSendQueue.clear();
        auto* input = w.findChild<zaplo::ChatInput*>(QStringLiteral("txtChatSend"));
        QTest::keyClicks(input, QStringLiteral("hello"));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(w.ChatText(), QStringLiteral("{pen42}hello\r\n"));
        QCOMPARE(state.colSendQueue, Queue{"{1}{pen42}hello"});
        QVERIFY(input->text().isEmpty());

        // Enter with modifiers, the keypad's Enter, and an empty input all send.
        QTest::keyClicks(input, QStringLiteral("x"));
        QTest::keyClick(input, Qt::Key_Return, Qt::ShiftModifier | Qt::ControlModifier);
        QTest::keyClick(input, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(w.ChatText(), QStringLiteral("{pen42}\r\n{pen42}x\r\n{pen42}hello\r\n"));
        QCOMPARE(state.colSendQueue, (Queue{"{1}{pen42}hello", "{1}{pen42}x", "{1}{pen42}"}));
        // Other keys only type.
        QTest::keyClick(input, Qt::Key_A);
        QCOMPARE(state.colSendQueue.size(), 3u);
        QCOMPARE(input->text(), QStringLiteral("a"));
    }

    void enterInClientModeWaitsForTheEcho() {
        AppState state;
        zaplo::test::PrepareState(state, 1, "ann");
        zaplo::test::MessageBoxCloser closer;
        frmMain w(state);
        auto* input = w.findChild<zaplo::ChatInput*>(QStringLiteral("txtChatSend"));
        QTest::keyClicks(input, QStringLiteral("hi {there};"));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(w.ChatText(), QString());
        QCOMPARE(state.colSendQueue.back(), std::string("{1}{ann}hi {there};"));
        QVERIFY(input->text().isEmpty());
    }

    void lineBreaksInTheInputCannotForgeMessages() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "n");
        frmMain w(state);
        state.colSendQueue.clear();
        auto* input = w.findChild<zaplo::ChatInput*>(QStringLiteral("txtChatSend"));
        input->setText(QStringLiteral("a\r\n{11}"));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(state.colSendQueue, Queue{"{1}{n}a  {11}"});
    }

    void userListRowsKeepTheirSlots() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "host");
        frmMain w(state);
        auto* list = w.findChild<QListWidget*>(QStringLiteral("listUsers"));
        w.AddUsername("ann", 1);
        w.AddUsername("bob", 2);
        w.AddUsername("ann", 3); // same nickname twice: two rows
        QCOMPARE(w.UserRows(), (Rows{"host", "ann", "bob", "ann"}));
        QCOMPARE(ListTexts(list), (QStringList{QStringLiteral("host"), QStringLiteral("ann"),
                                               QStringLiteral("bob"), QStringLiteral("ann")}));
        QCOMPARE(w.SlotNickname(2), std::optional<std::string>("bob"));
        QCOMPARE(w.SlotNickname(7), std::optional<std::string>());

        w.RemoveUsername(1);
        w.RemoveUsername(9); // no such slot: nothing happens
        QCOMPARE(w.UserRows(), (Rows{"host", "bob", "ann"}));
        // Slot 3's row is found by its slot, not by its position.
        QCOMPARE(w.SlotNickname(3), std::optional<std::string>("ann"));
        w.RemoveUsername(3);
        QCOMPARE(w.UserRows(), (Rows{"host", "bob"}));

        // Two rows with one slot: the first goes.
        w.AddUsername("x", 2);
        w.RemoveUsername(2);
        QCOMPARE(w.UserRows(), (Rows{"host", "x"}));

        // Bytes that are not UTF-8 come back unchanged.
        const std::string odd{"\xE9t\xE9", 3};
        w.AddUsername(odd, 5);
        QCOMPARE(w.SlotNickname(5), std::optional<std::string>(odd));
        QCOMPARE(w.UserRows().back(), odd);

        w.RefreshUserlist();
        QCOMPARE(w.UserRows(), Rows{});
        QCOMPARE(list->count(), 0);
    }

    void peerTextIsShownAsPlainText() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "<b>host</b>");
        frmMain w(state);
        const std::string markup = "<img src=x>&amp;<i>";
        w.AddUsername(markup, 1);
        w.SendToChatBox("{" + markup + "}hi");
        w.Status(markup + " has joined!");
        auto* list = w.findChild<QListWidget*>(QStringLiteral("listUsers"));
        QCOMPARE(ListTexts(list), (QStringList{QStringLiteral("<b>host</b>"),
                                               QStringLiteral("<img src=x>&amp;<i>")}));
        QCOMPARE(w.ChatText(), QStringLiteral("{<img src=x>&amp;<i>}hi\r\n"));
        QVERIFY(w.StatusText().startsWith(QStringLiteral("<img src=x>&amp;<i> has joined!\r\n")));
        auto* chat = w.findChild<zaplo::LogBox*>(QStringLiteral("txtChatBox"));
        QCOMPARE(chat->toPlainText(), QStringLiteral("{<img src=x>&amp;<i>}hi"));
        QVERIFY(w.windowTitle().contains(QStringLiteral("<b>host</b> (Server)")));
    }
};

QTEST_MAIN(ChatUserListTest)
#include "ChatUserListTest.moc"
