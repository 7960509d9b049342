// The start screen: the intro frame by frame on a hand-driven clock, then keys, close and clicks.
#include "base/AppState.h"
#include "ui/start/PictureButton.h"
#include "ui/start/PicturePanel.h"
#include "ui/start/frmStart.h"

#include <QLabel>
#include <QtTest>

#include <functional>

using namespace zaplo;

namespace {

using Ints = std::vector<int>;

// GetTicks reads `now`; Sleep advances it, counts and may run a hook; ending is only recorded.
struct Harness {
    AppState state;
    IntroMemory memory;
    int32_t now = 1000;
    int sleeps = 0;
    std::function<void()> onSleep = [] {};
    Harness() {
        state.GetTicks = [this] { return now; };
        state.Sleep = [this](int ms) {
            now += ms;
            ++sleeps;
            onSleep();
        };
        state.onEnd = nullptr;
    }
};

// Runs `count` frames `step` ms apart and records `read()` after each.
Ints Frames(Harness& h, frmStart& w, int count, int step, const std::function<int()>& read) {
    Ints seen;
    for (int i = 0; i < count; ++i) {
        w.RunFrame();
        seen.push_back(read());
        h.now += step;
    }
    return seen;
}

// from, from + step, ... up to and including `to`.
Ints Range(int from, int to, int step) {
    Ints out;
    for (int v = from; step > 0 ? v <= to : v >= to; v += step) {
        out.push_back(v);
    }
    return out;
}

Ints operator+(Ints a, const Ints& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <typename T> T* Child(const frmStart& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class StartScreenTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linesAndCreditMoveEachFrame() {
        Harness h;
        frmStart w(h.state, h.memory);
        Ints x, y, left, angle;
        for (int i = 0; i < 47; ++i) {
            w.RunFrame();
            h.now += 35;
            x.push_back(w.Line(1).X1());
            y.push_back(w.Line(2).Y1());
            left.push_back(w.Lined(0).X1());
            angle.push_back(h.memory.animClock.nAngle);
        }
        // The bounds act one step late; at the low end the reset and the new step share a frame.
        QCOMPARE(x, (Range(51, 99, 3) + Range(96, 45, -3) + Range(51, 84, 3)));
        QCOMPARE(y, (Range(74, 98, 2) + Range(96, 70, -2) + Range(74, 98, 2) + Range(96, 84, -2)));
        QCOMPARE(left, (Range(376, 436, 4) + Range(432, 368, -4) + Range(372, 424, 4)));
        QCOMPARE(angle, (Range(8, 360, 8) + Ints{8, 16})); // 0 never occurs
        QCOMPARE(QPoint(w.Line(1).X2(), w.Lined(0).X2()), QPoint(x.back(), left.back()));
        // Frames 10 ms apart: the 19 ms credit step comes every second frame.
        QCOMPARE(Frames(h, w, 4, 10, [&] { return int(h.memory.animClock.nAngle); }),
                 (Ints{24, 24, 32, 32}));
    }

    void logoAndPanelKeepTheirRates() {
        Harness h;
        frmStart w(h.state, h.memory);
        Ints top;
        const Ints logo = Frames(h, w, 25, 35, [&] {
            top.push_back(w.asmLines[0].nY);
            return int(h.memory.animClock.nLogoFrame);
        });
        // Logo at once, then every sixth frame (210 ms > 200): resources 5, 6, 4, 5, 6.
        QCOMPARE(logo, Ints(6, 1) + Ints(6, 2) + Ints(6, 0) + Ints(6, 1) + Ints{2});
        QCOMPARE(Child<PicturePanel>(w, "picLogo")->Surface(),
                 w.picFrames[2].convertToFormat(QImage::Format_RGB32));
        // The panel steps every third frame; a line going from -10 to -12 wraps to 126.
        QCOMPARE(Ints(top.begin(), top.begin() + 16),
                 (Ints{-2, -2, -2, -4, -4, -4, -6, -6, -6, -8, -8, -8, -10, -10, -10, 126}));
        QCOMPARE(int(h.memory.nAsmTopY), w.asmLines[0].nY);
        // Cleared before drawing: left of the text the panel is grey; line 12 is drawn on black.
        const QImage& panel = Child<PicturePanel>(w, "picAsm")->Surface();
        for (int y = 0; y < panel.height(); ++y) {
            QCOMPARE(panel.pixel(2, y), qRgb(64, 64, 64));
        }
        QCOMPARE(panel.pixel(6, w.asmLines[12].nY + 2 + 5 + 1), qRgb(0, 0, 0));
    }

    void explanationFollowsLastButtonCrossed() {
        Harness h;
        frmStart w(h.state, h.memory);
        auto* lblExplain = Child<QLabel>(w, "lblExplain");
        auto frameAfter = [&](int ms) {
            h.now += ms;
            w.RunFrame();
            return QList<int>{lblExplain->y(), w.Line(5).Y1(), w.Line(5).Y2(), w.Line(6).Y1(),
                              w.Line(6).Y2()};
        };
        const QList<int> kClient{182, 176, 176, 176, 200}, kServer{112, 152, 152, 128, 152};
        QCOMPARE(frameAfter(0), kClient);
        QCOMPARE(lblExplain->text(), QStringLiteral("Usual client mode."));
        // Crossing btnServer shows in the next 350 ms step, not before.
        QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Child<PictureButton>(w, "btnServer"), &move);
        QCOMPARE(frameAfter(350), kClient);
        QCOMPARE(frameAfter(1), kServer);
        QCOMPARE(lblExplain->text(), QStringLiteral("All data is transfered \ntrough you."));
        QCOMPARE(lblExplain->geometry(), QRect(QPoint(248, 112), lblExplain->sizeHint()));
        // Leaving it changes nothing; entering btnClient switches back.
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(Child<PictureButton>(w, "btnServer"), &leave);
        QCOMPARE(frameAfter(400), kServer);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QCoreApplication::sendEvent(Child<PictureButton>(w, "btnClient"), &enter);
        QCOMPARE(frameAfter(400), kClient);
    }

    void memoryCarriesOverButFrameResets() {
        Harness h;
        AnimClock left;
        {
            frmStart first(h.state, h.memory);
            Frames(h, first, 20, 35, [] { return 0; });
            h.memory.bOverServer = true;
            left = h.memory.animClock;
        }
        const int nTop = h.memory.nAsmTopY;
        frmStart second(h.state, h.memory);
        for (std::size_t i = 0; i < second.asmLines.size(); ++i) {
            QCOMPARE(int(second.asmLines[i].nY), nTop + 10 * int(i));
        }
        QCOMPARE(second.nFramePos, (std::array<int16_t, 4>{372, 108, 228, 508}));
        QCOMPARE(second.nFrameStep, (std::array<int16_t, 4>{4, 4, -4, -4}));
        h.now += 1000;
        second.RunFrame();
        QCOMPARE(int(h.memory.animClock.nScanX), left.nScanX + left.nScanStepX);
        QCOMPARE(int(h.memory.animClock.nAngle), left.nAngle + 8);
        QCOMPARE(int(h.memory.animClock.nLogoFrame), (left.nLogoFrame + 1) % 3);
        QCOMPARE(second.Lined(0).X1(), 376);
        QCOMPARE(Child<QLabel>(second, "lblExplain")->pos(), QPoint(248, 112));
    }

    void deadlinesSurviveTheCounterWrap() {
        // After 24.8 days of uptime the tick is negative: the zero deadlines are still due.
        Harness h;
        h.now = INT32_MIN + 5000;
        frmStart w(h.state, h.memory);
        auto angle = [&] { return int(h.memory.animClock.nAngle); };
        QCOMPARE(Frames(h, w, 1, 0, angle), Ints{8});
        QCOMPARE(int(h.memory.animClock.nLogoFrame), 1);
        QCOMPARE(int(h.memory.nAsmTopY), -2);
        // A deadline just set is due only after its own tick.
        QCOMPARE(Frames(h, w, 3, 19, angle), (Ints{8, 8, 16}));
        // Deadlines left half a counter cycle ago look far ahead; they are due too.
        h.memory.animClock.lNextLogo = h.now + 1000000;
        h.memory.animClock.lNextAsm = h.now + 101;
        w.RunFrame();
        QCOMPARE(int(h.memory.animClock.nLogoFrame), 2);
        QCOMPARE(int(h.memory.nAsmTopY), -4);
    }

    void escapeCloseOrClickStopTheLoop() {
        // Each comes in the event dispatch of the third frame, after a key that does nothing.
        // Escape on the focused button and the close box end the program at once; a click lets
        // its frame pause, then the loop stops and closes the window.
        enum Act { Escape, CloseBox, ClickServer, ClickClient };
        for (const Act act : {Escape, CloseBox, ClickServer, ClickClient}) {
            Harness h;
            h.state.nMode = act == ClickServer ? Mode::Client : Mode::Server;
            frmStart w(h.state, h.memory);
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            auto* button = Child<PictureButton>(w, act == ClickClient ? "btnClient" : "btnServer");
            button->setFocus();
            h.onSleep = [&] {
                QMetaObject::invokeMethod(
                    &w,
                    [&, n = h.sleeps] {
                        if (n == 1 || (n == 2 && act == Escape)) {
                            QTest::keyClick(button, n == 1 ? Qt::Key_A : Qt::Key_Escape);
                        } else if (n == 2) {
                            act == CloseBox ? void(w.close())
                                            : QTest::mouseClick(button, Qt::LeftButton);
                        } else if (n > 5) {
                            h.state.EndProgram(); // a loop that goes on fails instead of hanging
                        }
                    },
                    Qt::QueuedConnection);
            };
            w.timerAction_Timer();
            const bool bClick = act == ClickServer || act == ClickClient;
            QCOMPARE(h.state.Ended(), !bClick);
            QCOMPARE(w.bModeChosen, bClick);
            QCOMPARE(h.sleeps, bClick ? 3 : 2);
            QCOMPARE(int(h.memory.animClock.nAngle), 3 * 8); // no further frame is drawn
            if (bClick) {
                QVERIFY(h.state.nMode == (act == ClickServer ? Mode::Server : Mode::Client));
                QVERIFY(!w.bAnimate && !w.isVisible());
            }
        }
    }
};

QTEST_MAIN(StartScreenTest)
#include "tst_StartScreen.moc"
