// SPDX-License-Identifier: MIT
// The main window: layout, lifecycle, chat, user list, canvas and palette, also as the dispatcher
// drives it.
#include "base/AppState.h"
#include "net/NetSession.h"
#include "net/SessionHost.h"
#include "net/core/PacketProc.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/ColourSwatch.h"
#include "ui/main/frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace zaplo;

namespace {

// Counts the paint events of the object it watches and gathers what they painted.
struct PaintCounter : QObject {
    int nPaints = 0;
    QRegion painted; // in widget pixels
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++nPaints;
            painted += static_cast<QPaintEvent*>(event)->region();
        }
        return false;
    }
};

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
    void Feed(std::string block, int16_t nOrigin) { PacketProc(block, nOrigin, *w_->Host()); }
    // Slot iUser's socket has closed.
    void Leave(int16_t iUser) { PacketLeave(iUser, *w_->Host()); }

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
    void cleanup() { w_.reset(), state_.reset(), boxes_.clear(); }

    // A flood of received segments goes into the image at once, but the screen shows it at most
    // once per frame: without that, every segment would cost a paint of the whole canvas.
    void canvasDrawsAtOnceAndPaintsAtMostOncePerFrame() {
        AppState state;
        state.GetTicks = [] { return int32_t{5000}; }; // time stands still for the canvas
        CanvasWidget canvas(state);
        PaintCounter counter;
        const int& nPaints = counter.nPaints;
        canvas.installEventFilter(&counter);
        canvas.show();
        QTRY_VERIFY(nPaints > 0);
        QElapsedTimer elapsed;
        elapsed.start();
        const int nBefore = nPaints;
        counter.painted = QRegion();
        for (int i = 0; i < 300; ++i) {
            canvas.DrawSegment(i % 200, 10, i % 200 + 2, 10, 0x0000FF);
            QCOMPARE(canvas.Image().pixelColor(i % 200, 10), QColor(255, 0, 0)); // at once
            QCoreApplication::processEvents();
        }
        // One frame at most per 16 ms that passed (plus the one under way).
        QVERIFY2(nPaints - nBefore <= elapsed.elapsed() / CanvasWidget::kFrameMs + 2,
                 qPrintable(QString::number(nPaints - nBefore)));
        // A segment after the last pass is shown all the same.
        const int nAfterFlood = nPaints;
        canvas.DrawSegment(0, 20, 5, 20, 0x00FF00);
        QTRY_VERIFY(nPaints > nAfterFlood);
        // Only what changed is painted, and every changed pixel is (the image sits inside the
        // 1-pixel border).
        const QPoint inside(CanvasWidget::kBorder, CanvasWidget::kBorder);
        for (int x = 0; x < 202; ++x) {
            QVERIFY2(counter.painted.contains(QPoint(x, 10) + inside),
                     qPrintable(QString::number(x)));
        }
        for (int x = 0; x < 5; ++x) {
            QVERIFY(counter.painted.contains(QPoint(x, 20) + inside));
        }
        QVERIFY(!counter.painted.contains(QPoint(100, 100)));
    }

    void layoutTable_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place"); // an empty size: the label's text decides it
        // The chat input at the chat box's height + 10, not its bottom edge + 10; swatch rows
        // 1 pixel apart with 2-pixel gaps; the custom boxes touching.
        const std::pair<const char*, QRect> fixed[] = {
            {"txtChatBox", {5, 5, 200, 395}},   {"txtChatSend", {5, 405, 360, 19}},
            {"listUsers", {215, 20, 150, 290}}, {"lblUserList", {215, 5, 0, 0}},
            {"txtStatus", {215, 330, 150, 70}}, {"lblStatus", {215, 315, 0, 0}},
            {"Line1_0", {212, 5, 1, 480}},      {"Line1_1", {372, 5, 1, 480}},
            {"picCanvas", {377, 20, 250, 355}}, {"lblDraw", {377, 5, 0, 0}},
            {"btnClear", {377, 378, 73, 25}}};
        for (const auto& [name, place] : fixed) {
            QTest::newRow(name) << S(name) << place;
        }
        for (int i = 0; i < 16; ++i) {
            const QString name = S("picCol_%1").arg(i);
            QTest::newRow(qPrintable(name))
                << name << QRect(452 + 22 * (i % 8), i < 8 ? 378 : 399, 20, 20);
        }
        for (int i = 0; i < 3; ++i) {
            const QString name = S("txtclrCustom_%1").arg(i);
            QTest::newRow(qPrintable(name)) << name << QRect(377 + 25 * i, 408, 25, 19);
        }
    }
    void layoutTable() {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        Open(0, "host");
        QWidget* control = Find(name);
        QVERIFY(control != nullptr);
        const QSize size = place.isEmpty() ? control->sizeHint() : place.size();
        QCOMPARE(control->geometry(), QRect(place.topLeft(), size));
    }

    void controlsFitAndDoNotOverlap() {
        Open(0, "host");
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
        // A fixed outer size with room for the controls.
        QTRY_COMPARE(w_->frameGeometry().size(), QSize(640, 480));
        QVERIFY(w_->minimumSize() == w_->maximumSize() &&
                !(w_->windowFlags() & Qt::WindowMaximizeButtonHint));
        const QRect client = w_->centralWidget()->rect();
        QVERIFY(client.width() >= 627 && client.height() >= 427);
        // Every control but the separators lies inside the client area, apart from the others.
        QList<QWidget*> controls =
            w_->centralWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        controls.removeIf([](QWidget* c) { return c->objectName().startsWith(u"Line1_"); });
        QStringList wrong;
        for (QWidget* a : controls) {
            wrong << (client.contains(a->geometry()) ? QString() : a->objectName());
            for (QWidget* b : controls) {
                wrong << (a < b && a->geometry().intersects(b->geometry())
                              ? a->objectName() + u'/' + b->objectName()
                              : QString());
            }
        }
        wrong.removeAll(QString());
        QCOMPARE(wrong, QStringList());
        QCOMPARE(Canvas()->Image().size(), QSize(248, 353));
        // Black behind the controls; the separators run to the bottom edge, beneath the chat input.
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
        Move(-5, 44); // past the edge: sent as it is, drawn only where it falls on the image
        QCOMPARE(state_->colSendQueue, (Queue{"{10}15;44;20;44;65280;", "{10}20;44;-5;44;65280;"}));
        QCOMPARE(Marked(), Pixels({{10, 40, 15, 40}, {15, 41, 15, 43}, {0, 44, 20, 44}}));
    }

    void customBoxesSetTheColour_data() {
        QTest::addColumn<QString>("typed"); // red|green|blue
        QTest::addColumn<int>("colour");
        QTest::addColumn<QString>("shown");
        QTest::newRow("above 255") << S("300||") << 255 << S("255||");
        QTest::newRow("no number") << S("12a|7|") << 1804 << S("12a|7|");
        QTest::newRow("half to even") << S("2.5|3.5|") << 2 + 4 * 256 << S("2.5|3.5|");
        QTest::newRow("negative") << S("-5|1|-") << 256 << S("-5|1|-");
        QTest::newRow("blanks, 3 chars") << S(" 9 ||9999") << 9 + 255 * 65536 << S(" 9 ||255");
    }
    void customBoxesSetTheColour() {
        QFETCH(QString, typed);
        QFETCH(int, colour);
        QFETCH(QString, shown);
        Open(0, "host");
        for (int i = 0; i < 3; ++i) {
            QTest::keyClicks(Box(i), typed.split(u'|')[i]);
        }
        QCOMPARE(state_->lDrawColor, colour);
        QCOMPARE(Box(0)->text() + u'|' + Box(1)->text() + u'|' + Box(2)->text(), shown);
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
        // A client shows its line only when the server's echo comes back.
        Open(1, "ann");
        QTest::keyClicks(Find<QLineEdit>(S("txtChatSend")), S("hi {there};\r"));
        QCOMPARE(w_->ChatText(), QString());
        QCOMPARE(state_->colSendQueue, Queue{"{1}{ann}hi {there};"});
    }

    void serverListsUsersBySlot() {
        Open(0, "host");
        state_->nUsers = 4;
        Feed("{2}ann\r\n", 1);
        Feed("{2}bob\r\n", 2);
        Feed("{2}ann\r\n", 3); // the same nickname twice: two rows
        Leave(1);
        QCOMPARE(state_->colSendQueue.back(), "{8}host;bob;ann;");
        // bob now stands second but is found by his slot.
        Leave(2);
        QVERIFY(w_->StatusText().startsWith(S("bob has been disconnected!\r\n")));
        w_->RemoveUsername(9);       // no such slot: nothing happens
        Feed("{2}\xE9t\xE9\r\n", 4); // bytes that are not UTF-8 come back unchanged
        QCOMPARE(w_->UserRows(), (Rows{"host", "ann", "\xE9t\xE9"}));
        QCOMPARE(Find<QListWidget>(S("listUsers"))->item(1)->text(), S("ann")); // shown in step
    }

    void clientAfterAFailedConnectionTakesWhatTheServerSends() {
        Open(1, "<b>ann</b>");
        QCOMPARE(boxes_, QStringList{S("Zaplo: Connection failed!")});
        QVERIFY(w_->bReset && w_->StatusText().contains(S("Connecting...\r\n")));
        QCOMPARE(opened_.back(), "{2}<b>ann</b>"); // the join is queued whatever the outcome
        Feed("{8}host;<b>ann</b>;bob;\r\n{8}host;<img src=x>;\r\n", -1); // replaces the list
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
        Feed("{11}\r\n", -1);
        QVERIFY(Marked().empty());
        QVERIFY(state_->colSendQueue.empty()); // a client answers none of these
    }

    void joinAgainIsOfferedOnlyToAClientThatLostOrNeverHadItsServer() {
        Open(0, "host");
        QVERIFY(!Find<QAction>(S("mnuJoinAgain"))); // a host's menu is as it always was
        Open(1, "ann");                             // the racing clock fails the attempt
        auto* item = Find<QAction>(S("mnuJoinAgain"));
        QVERIFY(item && item->isVisible() && item->isEnabled());
        QTimer::singleShot(0, w_.get(), [item] { item->trigger(); });
        w_->ShowModal();
        QVERIFY(w_->bJoinAgain && w_->bReset && !state_->Ended());
    }

    void resetExitAndCloseOutcomes_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("bResetBefore"); // true as after a failed connection attempt
        QTest::addColumn<bool>("bEnded");
        QTest::addColumn<bool>("bResetAfter");
        QTest::newRow("Reset") << S("mnuFile_Restart") << false << false << true;
        QTest::newRow("Exit") << S("mnuFile_Exit") << false << true << false;
        QTest::newRow("Exit, failed") << S("mnuFile_Exit") << true << true << true;
        QTest::newRow("close box") << S("close") << false << true << false;
        QTest::newRow("close box, failed") << S("close") << true << false << true;
        QTest::newRow("ended elsewhere") << S("end") << false << true << false;
    }
    void resetExitAndCloseOutcomes() {
        QFETCH(QString, way);
        QFETCH(bool, bResetBefore);
        QFETCH(bool, bEnded);
        QFETCH(bool, bResetAfter);
        Open(0, "host");
        w_->bReset = bResetBefore;
        QTimer::singleShot(0, w_.get(), [&] {
            if (way == u"close") {
                w_->close(); // never refused: the window is gone below
            } else if (way == u"end") {
                state_->EndProgram();
            } else {
                Find<QAction>(way)->trigger();
            }
        });
        w_->ShowModal();
        QVERIFY(w_->Session() == nullptr); // the connections ended with the showing
        QCOMPARE(state_->Ended(), bEnded);
        QCOMPARE(w_->bReset, bResetAfter);
        QCOMPARE(w_->isVisible(), way == u"end");
    }

    void paletteMarksOneSwatchAndTheNextWindowKeepsColourAndPoint() {
        Open(0, "host");
        QTest::keyClicks(Box(1), S("7"));
        QTest::mouseClick(Swatch(10), Qt::LeftButton);
        QCOMPARE(state_->lDrawColor, 255);
        QTest::mouseClick(Swatch(12), Qt::LeftButton);
        QTest::mouseClick(Swatch(2), Qt::RightButton); // no click
        QCOMPARE(state_->lDrawColor, 16711680);
        const auto swatches = w_->findChildren<ColourSwatch*>();
        QCOMPARE(
            std::count_if(swatches.begin(), swatches.end(), std::mem_fn(&ColourSwatch::IsMarked)),
            1);
        QVERIFY(Swatch(12)->IsMarked() && Box(1)->text() == u"7");
        QTest::keyClicks(Box(0), S("0")); // the boxes take over; the mark stays
        QVERIFY(state_->lDrawColor == 7 * 256 && Swatch(12)->IsMarked());
        Press(33, 44);
        w_->SendToChatBox("{x}old");
        Find<QAction>(S("mnuFile_Restart"))->trigger();
        Open(0, "host");
        QVERIFY(!w_->bReset && w_->ChatText().isEmpty() && w_->UserRows() == Rows{"host"});
        QVERIFY(!Swatch(12)->IsMarked() && Box(1)->text().isEmpty());
        Move(36, 44); // goes on from the stored point in the kept colour
        QCOMPARE(Marked(), Pixels({{33, 44, 35, 44}}));
        QCOMPARE(Canvas()->Image().pixelColor(34, 44), QColor(0, 7, 0));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
