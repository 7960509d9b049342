// The main window: layout, lifecycle, chat, user list, canvas and palette, also as the dispatcher
// drives it.
#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/core/PacketProc.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/ColourSwatch.h"
#include "ui/main/frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace zaplo;

namespace {

using Queue = std::deque<std::string>;
using Rows = std::vector<std::string>;
using Points = std::vector<QPoint>;

// The pixels of the rectangles {x0, y0, x1, y1}, corners included, row by row.
Points Pixels(std::initializer_list<std::array<int, 4>> rects) {
    Points points;
    for (const auto& [x0, y0, x1, y1] : rects) {
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                points.emplace_back(x, y);
            }
        }
    }
    return points;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppState> state_;
    std::unique_ptr<frmMain> w_;
    Queue opened_; // what the window queued while it was created
    QTimer closer_;
    QStringList boxes_;

    // A new window, on new state unless a test keeps it. Ending the program is only recorded, the
    // server listens on a free loopback port, and the racing clock makes a client give up at once.
    void Open(int32_t nMode, const std::string& nick) {
        w_.reset();
        if (!state_) {
            state_ = std::make_unique<AppState>();
            state_->onEnd = nullptr;
            state_->szListenHost = state_->szServerIP = "127.0.0.1";
            state_->GetTicks = [ticks = int32_t{0}]() mutable { return ticks += 10000; };
        }
        state_->nMode = static_cast<Mode>(nMode);
        state_->szNick = nick;
        w_ = std::make_unique<frmMain>(*state_);
        opened_ = std::exchange(state_->colSendQueue, {});
    }
    static QString S(const char* text) { return QString::fromUtf8(text); }
    template <typename T = QWidget> T* Find(const QString& name) { return w_->findChild<T*>(name); }
    CanvasWidget* Canvas() { return Find<CanvasWidget>(S("picCanvas")); }
    ColourSwatch* Swatch(int i) { return Find<ColourSwatch>(S("picCol_%1").arg(i)); }
    QLineEdit* Box(int i) { return Find<QLineEdit>(S("txtclrCustom_%1").arg(i)); }
    void Feed(std::string block, int16_t nOrigin) { PacketProc(block, nOrigin, *w_); }

    // Pointer events at canvas pixels, inside the 1-pixel border.
    void Send(QEvent::Type type, double x, double y, Qt::MouseButtons held, Qt::MouseButton b) {
        const QPointF at(x + CanvasWidget::kBorder, y + CanvasWidget::kBorder);
        QMouseEvent event(type, at, Canvas()->mapToGlobal(at), b, held, Qt::NoModifier);
        QApplication::sendEvent(Canvas(), &event);
    }
    void Press(double x, double y) {
        Send(QEvent::MouseButtonPress, x, y, Qt::LeftButton, Qt::LeftButton);
    }
    void Move(double x, double y, Qt::MouseButtons held = Qt::LeftButton) {
        Send(QEvent::MouseMove, x, y, held, Qt::NoButton);
    }
    // The canvas pixels that differ from its background, row by row.
    Points Marked() {
        const QImage& image = Canvas()->Image();
        Points points = Pixels({{0, 0, image.width() - 1, image.height() - 1}});
        std::erase_if(points,
                      [&](QPoint p) { return image.pixelColor(p) == Canvas()->Background(); });
        return points;
    }

private Q_SLOTS:
    void initTestCase() {
        // Answers every modal message box, remembering caption and text.
        connect(&closer_, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes_ << box->windowTitle() + S(": ") + box->text();
                box->accept();
            }
        });
        closer_.start(10);
    }
    void cleanup() {
        w_.reset();
        state_.reset();
        boxes_.clear();
    }

    void controlsFollowTheLayoutTable() {
        Open(0, "host");
        // The chat input at the chat box's height + 10, not its bottom edge + 10; swatch rows
        // 1 pixel apart with 2-pixel gaps; the custom boxes touching; labels fit their text.
        QList<QPair<QString, QRect>> places{
            {S("txtChatBox"), {5, 5, 200, 395}},   {S("txtChatSend"), {5, 405, 360, 19}},
            {S("listUsers"), {215, 20, 150, 290}}, {S("txtStatus"), {215, 330, 150, 70}},
            {S("Line1_0"), {212, 5, 1, 480}},      {S("Line1_1"), {372, 5, 1, 480}},
            {S("picCanvas"), {377, 20, 250, 355}}, {S("btnClear"), {377, 378, 73, 25}},
            {S("lblUserList"), {215, 5, 0, 0}},    {S("lblStatus"), {215, 315, 0, 0}},
            {S("lblDraw"), {377, 5, 0, 0}}};
        for (int i = 0; i < 16; ++i) {
            places.append({S("picCol_%1").arg(i), {452 + 22 * (i % 8), i < 8 ? 378 : 399, 20, 20}});
        }
        for (int i = 0; i < 3; ++i) {
            places.append({S("txtclrCustom_%1").arg(i), {377 + 25 * i, 408, 25, 19}});
        }
        for (const auto& [name, r] : places) {
            QVERIFY2(Find(name) != nullptr, qPrintable(name));
            const QSize size = r.isEmpty() ? Find(name)->sizeHint() : r.size();
            QVERIFY2(Find(name)->geometry() == QRect(r.topLeft(), size), qPrintable(name));
        }
        QCOMPARE(Canvas()->Image().size(), QSize(248, 353));
        // A fixed outer size with room for the controls; black behind them; the separators run
        // to the bottom edge, beneath the chat input.
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
        QTRY_COMPARE(w_->frameGeometry().size(), QSize(640, 480));
        QCOMPARE(w_->minimumSize(), w_->maximumSize());
        QVERIFY(!(w_->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w_->centralWidget()->width() >= 627 && w_->centralWidget()->height() >= 427);
        const QImage shot = w_->centralWidget()->grab().toImage();
        QCOMPARE(shot.pixelColor(2, 2), QColor(Qt::black));
        QCOMPARE(shot.pixelColor(372, shot.height() - 1), QColor(0, 0, 255));
        QVERIFY(shot.pixelColor(212, 414) != QColor(0, 0, 255));
    }

    void strokesDrawAndQueueExactly() {
        Open(0, "host");
        // Without the link a press only stores the point; moves draw locally and send nothing.
        state_->lDrawColor = 16711680;
        Press(10.9, 20.5);
        Move(13, 20);
        QCOMPARE(Marked(), Pixels({{10, 20, 12, 20}}));
        QCOMPARE(Canvas()->Image().pixelColor(11, 20), QColor(0, 0, 255));
        // Clear erases and is queued all the same.
        QTest::mouseClick(Find<QPushButton>(S("btnClear")), Qt::LeftButton);
        QVERIFY(Marked().empty());
        QCOMPARE(std::exchange(state_->colSendQueue, {}), Queue{"{11}"});
        // With the link: one message for the press, one segment and one message per move.
        state_->bConnected = true;
        state_->lDrawColor = 65280;
        Press(10, 40);
        Move(15.99, 40.1);
        Move(15, 44);
        Send(QEvent::MouseButtonRelease, 15, 44, Qt::NoButton, Qt::LeftButton);
        Move(100, 100, Qt::NoButton);
        QCOMPARE(state_->colSendQueue, (Queue{"{10}10;40;10;40;65280;", "{10}10;40;15;40;65280;",
                                              "{10}15;40;15;44;65280;"}));
        QCOMPARE(Marked(), Pixels({{10, 40, 15, 40}, {15, 41, 15, 43}}));
        // Right and middle presses do nothing; a second button held pauses the stroke.
        state_->colSendQueue.clear();
        Send(QEvent::MouseButtonPress, 50, 50, Qt::RightButton, Qt::RightButton);
        Send(QEvent::MouseButtonPress, 50, 50, Qt::RightButton | Qt::MiddleButton,
             Qt::MiddleButton);
        Move(60, 44, Qt::LeftButton | Qt::RightButton);
        Move(20, 44); // left alone again: goes on from the last stored point
        QCOMPARE(state_->colSendQueue, Queue{"{10}15;44;20;44;65280;"});
        QCOMPARE(Marked().back(), QPoint(19, 44));
    }

    void dragPastTheEdgeSendsNegativePoints() {
        // Real pointer events: the canvas keeps the moves while the button is held.
        Open(0, "host");
        state_->bConnected = true;
        // The session's 1 ms send timer would drain the queue once the window runs events.
        w_->Session()->findChild<QTimer*>(S("timerSendMsgs"))->stop();
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
        QWindow* handle = w_->windowHandle();
        const QPoint start = Canvas()->mapTo(w_.get(), QPoint(4 + 1, 10 + 1));
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
        QTest::mouseMove(handle, start + QPoint(-10, 0));
        QTest::mouseMove(handle, start + QPoint(-10, -20));
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, start + QPoint(-10, -20));
        QCOMPARE(state_->colSendQueue,
                 (Queue{"{10}4;10;4;10;0;", "{10}4;10;-6;10;0;", "{10}-6;10;-6;-10;0;"}));
        QCOMPARE(Marked(), Pixels({{0, 10, 4, 10}})); // only the part on the image
    }

    void swatchesAndCustomBoxesSetTheColour() {
        Open(0, "host");
        QTest::keyClicks(Box(0), S("12"));
        const std::pair<int, int32_t> clicks[] = {{10, 255}, {8, 16777215}, {2, 83671}};
        for (const auto& [index, colour] : clicks) {
            QTest::mouseClick(Swatch(index), Qt::LeftButton);
            QCOMPARE(state_->lDrawColor, colour);
            for (int i = 0; i < 16; ++i) {
                QCOMPARE(Swatch(i)->IsMarked(), i == index);
            }
        }
        QTest::mouseClick(Swatch(0), Qt::RightButton); // no click
        QCOMPARE(state_->lDrawColor, 83671);
        QCOMPARE(Box(0)->text(), S("12"));
        // Red|green|blue: above 255 is replaced, no number reads 0, a half goes to the even
        // neighbour, a negative part counts as 0, three characters at most.
        const std::tuple<const char*, int32_t, const char*> cases[] = {
            {"300||", 255, "255||"},
            {"12a|7|", 1804, "12a|7|"},
            {"2.5|3.5|", 2 + 4 * 256, "2.5|3.5|"},
            {"-5|1|-", 256, "-5|1|-"},
            {" 9 ||9999", 9 + 255 * 65536, " 9 ||255"}};
        for (const auto& [typed, colour, shown] : cases) {
            for (int i = 0; i < 3; ++i) {
                Box(i)->clear();
                QTest::keyClicks(Box(i), S(typed).split(QLatin1Char('|'))[i]);
            }
            QCOMPARE(state_->lDrawColor, colour);
            QCOMPARE(Box(0)->text() + u'|' + Box(1)->text() + u'|' + Box(2)->text(), S(shown));
        }
        QVERIFY(Swatch(2)->IsMarked()); // the mark stays while the boxes give the colour
    }

    void enterSendsTheChatLine() {
        Open(0, "pen42");
        auto* input = Find<QLineEdit>(S("txtChatSend"));
        QTest::keyClicks(input, S("hello"));
        QTest::keyClick(input, Qt::Key_Return);
        // Modifiers do not matter, the keypad's Enter sends too, and so does an empty input.
        QTest::keyClicks(input, S("x"));
        QTest::keyClick(input, Qt::Key_Return, Qt::ShiftModifier | Qt::ControlModifier);
        QTest::keyClick(input, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(input, Qt::Key_A); // other keys only type
        QCOMPARE(w_->ChatText(), S("{pen42}\r\n{pen42}x\r\n{pen42}hello\r\n"));
        QCOMPARE(state_->colSendQueue, (Queue{"{1}{pen42}hello", "{1}{pen42}x", "{1}{pen42}"}));
        QCOMPARE(input->text(), S("a"));
        // Pasted line breaks go out as spaces, so they cannot forge a message.
        input->setText(S("a\r\n{11}"));
        QTest::keyClick(input, Qt::Key_Return);
        QCOMPARE(state_->colSendQueue.back(), "{1}{pen42}a  {11}");
        // The box shows its top, where the newest line stands.
        QCOMPARE(Find<QPlainTextEdit>(S("txtChatBox"))->textCursor().position(), 0);
        // A client shows its line only when the server's echo comes back.
        Open(1, "ann");
        QTest::keyClicks(Find<QLineEdit>(S("txtChatSend")), S("hi {there};"));
        QTest::keyClick(Find<QLineEdit>(S("txtChatSend")), Qt::Key_Return);
        QCOMPARE(w_->ChatText(), QString());
        QCOMPARE(state_->colSendQueue, Queue{"{1}{ann}hi {there};"});
    }

    void serverTakesJoinsChatAndLeaves() {
        Open(0, "host");
        state_->nUsers = 4;
        Feed("{2}ann\r\n", 1);
        Feed("{2}bob\r\n", 2);
        Feed("{2}ann\r\n", 3); // the same nickname twice: two rows
        QCOMPARE(w_->UserRows(), (Rows{"host", "ann", "bob", "ann"}));
        QVERIFY(w_->StatusText().startsWith(S("ann has joined!\r\nbob has joined!\r\n")));
        state_->colSendQueue.clear();
        Feed("{1}{ann}hi\r\n{1}{ann}again\r\n", 1);
        QCOMPARE(w_->ChatText(), S("{ann}again\r\n{ann}hi\r\n"));
        Feed("{3}\r\n", 1);
        QCOMPARE(state_->colSendQueue,
                 (Queue{"{1}{ann}hi", "{1}{ann}again", "{9}ann has been disconnected!",
                        "{8}host;bob;ann;"}));
        // bob now stands second but is found by his slot.
        Feed("{3}\r\n", 2);
        QCOMPARE(w_->UserRows(), (Rows{"host", "ann"}));
        QVERIFY(w_->StatusText().startsWith(S("bob has been disconnected!\r\n")));
        w_->RemoveUsername(9);       // no such slot: nothing happens
        Feed("{2}\xE9t\xE9\r\n", 4); // bytes that are not UTF-8 come back unchanged
        QCOMPARE(w_->UserRows(), (Rows{"host", "ann", "\xE9t\xE9"}));
    }

    void clientAfterAFailedConnectionTakesWhatTheServerSends() {
        Open(1, "<b>ann</b>");
        QCOMPARE(boxes_, QStringList{S("Zaplo: Connection failed!")});
        QVERIFY(w_->bReset);
        QCOMPARE(opened_.back(), "{2}<b>ann</b>"); // the join is queued whatever the outcome
        QVERIFY(w_->StatusText().contains(S("Connecting...\r\n")));
        Feed("{8}host;<b>ann</b>;bob;\r\n", -1);
        Feed("{8}host;<img src=x>;\r\n", -1); // a new list replaces the old one
        QCOMPARE(w_->UserRows(), (Rows{"host", "<img src=x>"}));
        QCOMPARE(Find<QListWidget>(S("listUsers"))->item(1)->text(), S("<img src=x>"));
        // Markup stays text, and a lone CR or LF does not split a line.
        Feed("{9}<i>bob</i> has joined!\r\n{1}{<img src=x>}&amp;\nb\rc\r\n", -1);
        QVERIFY(Find<QPlainTextEdit>(S("txtStatus"))->toPlainText().startsWith(S("<i>bob</i> ")));
        QCOMPARE(Find<QPlainTextEdit>(S("txtChatBox"))->toPlainText(),
                 S("{<img src=x>}&amp;\u240Ab\u240Dc"));
        QVERIFY(w_->windowTitle().endsWith(S(" - <b>ann</b> (Client)")));
        // Draw and clear records reach the canvas.
        Feed("{10}10;20;15;20;255;\r\n{10}0;30;3;30;\r\n", -1);
        QCOMPARE(Marked(), Pixels({{10, 20, 14, 20}, {0, 30, 2, 30}}));
        QCOMPARE(Canvas()->Image().pixelColor(12, 20), QColor(255, 0, 0));
        QCOMPARE(Canvas()->Image().pixelColor(1, 30), QColor(Qt::black)); // no colour field
        // Records no program sends are not drawn.
        Feed("{10}0;40;40000;40;0;\r\n{10}0;41;5;41;16777216;\r\n", -1);
        QCOMPARE(Marked().size(), 8u);
        Feed("{11}\r\n", -1);
        QVERIFY(Marked().empty());
        QVERIFY(state_->colSendQueue.empty()); // a client answers none of these
    }

    void resetExitAndCloseOutcomes() {
        enum Way { Reset, Exit, Close, EndElsewhere };
        // Way, bReset before (true as after a failed connection attempt), ended, bReset after.
        const std::tuple<Way, bool, bool, bool> cases[] = {
            {Reset, false, false, true}, {Exit, false, true, false},
            {Exit, true, true, true},    {Close, false, true, false},
            {Close, true, false, true},  {EndElsewhere, false, true, false}};
        for (const auto& [way, bResetBefore, bEnded, bResetAfter] : cases) {
            state_.reset();
            Open(0, "host");
            w_->bReset = bResetBefore;
            QTimer::singleShot(0, w_.get(), [this, way = way] {
                if (way == Reset || way == Exit) {
                    Find<QAction>(S(way == Reset ? "mnuFile_Restart" : "mnuFile_Exit"))->trigger();
                } else if (way == Close) {
                    QVERIFY(w_->close()); // never refused
                } else {
                    state_->EndProgram();
                }
            });
            w_->ShowModal();
            QCOMPARE(state_->Ended(), bEnded);
            QCOMPARE(w_->bReset, bResetAfter);
            QCOMPARE(w_->isVisible(), way == EndElsewhere);
            QVERIFY(w_->Session() == nullptr); // the connections ended with the showing
        }
    }

    void nextWindowStartsAfreshButKeepsColourAndPoint() {
        Open(0, "host");
        QTest::keyClicks(Box(1), S("7"));
        QTest::mouseClick(Swatch(12), Qt::LeftButton);
        Press(33, 44);
        w_->SendToChatBox("{x}old");
        w_->AddUsername("guest", 1);
        Find<QAction>(S("mnuFile_Restart"))->trigger();
        Open(0, "host");
        QVERIFY(!w_->bReset);
        QCOMPARE(w_->ChatText(), QString());
        QCOMPARE(w_->StatusText(), S("Waiting for a client to join...\r\n"));
        QCOMPARE(w_->UserRows(), Rows{"host"});
        QVERIFY(!Swatch(12)->IsMarked() && Box(1)->text().isEmpty());
        Move(36, 44); // goes on from the stored point in the kept colour
        QCOMPARE(Marked(), Pixels({{33, 44, 35, 44}}));
        QCOMPARE(Canvas()->Image().pixelColor(34, 44), QColor(0, 0, 255));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
