// Frame-by-frame checks of the intro animation, driven by a hand-advanced clock.
#include "tests/start/IntroHarness.h"
#include "ui/start/PictureButton.h"
#include "ui/start/PicturePanel.h"
#include "ui/start/frmStart.h"

#include <QEnterEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QtTest>

#include <climits>
#include <vector>

using namespace zaplo;

namespace {

using Ints = std::vector<int>;

// Runs `count` frames `step` ms apart and records `read()` after each.
Ints Frames(IntroHarness& h, frmStart& w, int count, int step, const std::function<int()>& read) {
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

Ints Join(std::initializer_list<Ints> parts) {
    Ints out;
    for (const Ints& part : parts) {
        out.insert(out.end(), part.begin(), part.end());
    }
    return out;
}

QRgb BackgroundAt(const frmStart& w, int x, int y) {
    const QImage& bg = w.BackgroundPicture();
    return bg.isNull() ? qRgb(0, 0, 0) : bg.pixel(x, y) | 0xff000000;
}

} // namespace

class IntroAnimationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void movingLinesOvershootTheirBounds();
    void creditAnglesSkipZero();
    void logoCyclesEvery200ms();
    void panelScrollsAndWraps();
    void explanationFollowsLastButton();
    void memoryCarriesOverButFrameResets();
    void deadlines();
    void surfaceKeepsTrailAndRepairsStrips();
};

void IntroAnimationTest::movingLinesOvershootTheirBounds() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    Ints x, y, left, top, bottom, right;
    for (int i = 0; i < 37; ++i) {
        w.RunFrame();
        h.now += 35;
        x.push_back(w.Line(1).X1());
        y.push_back(w.Line(2).Y1());
        left.push_back(w.Lined(0).X1());
        top.push_back(w.Lined(1).Y1());
        bottom.push_back(w.Lined(2).Y2());
        right.push_back(w.Lined(3).X2());
    }
    // At the low end the reset to 48 and the step +3 come in the same frame.
    QCOMPARE(x, Join({Range(51, 99, 3), Range(96, 45, -3), {51, 54}}));
    QCOMPARE(Ints(y.begin(), y.begin() + 29),
             Join({Range(74, 98, 2), Range(96, 70, -2), {74, 76}}));
    QCOMPARE(Ints(left.begin(), left.begin() + 35),
             Join({Range(376, 436, 4), Range(432, 368, -4), {372, 376}}));
    QCOMPARE(Ints(top.begin(), top.begin() + 15), Join({Range(112, 164, 4), {160}}));
    QCOMPARE(Ints(bottom.begin(), bottom.begin() + 15), Join({Range(224, 172, -4), {176}}));
    QCOMPARE(Ints(right.begin(), right.begin() + 17), Join({Range(504, 444, -4), {448}}));
    // Both ends move together; the other extents stay.
    QCOMPARE(w.Line(1).X2(), w.Line(1).X1());
    QCOMPARE(QPoint(w.Line(1).Y1(), w.Line(1).Y2()), QPoint(8, 320));
    QCOMPARE(QPoint(w.Line(2).X1(), w.Line(2).X2()), QPoint(16, 480));
    QCOMPARE(w.Lined(0).X2(), w.Lined(0).X1());
    QCOMPARE(QPoint(w.Lined(3).Y1(), w.Lined(3).Y2()), QPoint(128, 208));
    QCOMPARE(QPoint(w.Lined(1).X1(), w.Lined(2).X2()), QPoint(392, 488));
    QCOMPARE(int(h.memory.animClock.nScanX), w.Line(1).X1());
    QCOMPARE(int(w.nFramePos[3]), w.Lined(3).X1());
}

void IntroAnimationTest::creditAnglesSkipZero() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    auto angle = [&] { return int(h.memory.animClock.nAngle); };
    QCOMPARE(Frames(h, w, 47, 35, angle), Join({Range(8, 360, 8), {8, 16}}));
    // Frames 10 ms apart: the 19 ms step comes every second frame.
    QCOMPARE(Frames(h, w, 4, 10, angle), (Ints{24, 24, 32, 32}));
}

void IntroAnimationTest::logoCyclesEvery200ms() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    auto* picLogo = w.findChild<PicturePanel*>(QStringLiteral("picLogo"));
    Ints changedAt, order;
    for (int frame = 0; frame < 25; ++frame) {
        const int before = h.memory.animClock.nLogoFrame;
        w.RunFrame();
        h.now += 35;
        const int shown = h.memory.animClock.nLogoFrame;
        if (shown == before && frame > 0) {
            continue;
        }
        changedAt.push_back(frame);
        order.push_back(shown);
        const QImage& picture = w.picFrames[std::size_t(shown)];
        QVERIFY(!picture.isNull());
        QCOMPARE(picLogo->Surface(), picture.convertToFormat(QImage::Format_RGB32));
    }
    // 35 ms frames: at once, then every sixth frame (210 ms > 200), without catching up.
    QCOMPARE(changedAt, (Ints{0, 6, 12, 18, 24}));
    QCOMPARE(order, (Ints{1, 2, 0, 1, 2})); // resources 5, 6, 4, 5, 6
}

void IntroAnimationTest::panelScrollsAndWraps() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    for (std::size_t i = 0; i < w.asmLines.size(); ++i) {
        QCOMPARE(int(w.asmLines[i].nY), 10 * int(i));
    }
    QCOMPARE(w.asmLines[12].szText, QStringLiteral("mov es:[di], ah"));
    auto top = [&] { return int(w.asmLines[0].nY); };
    QCOMPARE(Frames(h, w, 16, 35, top),
             (Ints{-2, -2, -2, -4, -4, -4, -6, -6, -6, -8, -8, -8, -10, -10, -10, 126}));
    QCOMPARE(int(h.memory.nAsmTopY), 126);
    QCOMPARE(int(w.asmLines[12].nY), 120 - 12);

    // Cleared before drawing: left of the text column the panel is plain grey; the last step drew
    // line 12 on a black cell at 110 + 5.
    const QImage& panel = w.findChild<PicturePanel*>(QStringLiteral("picAsm"))->Surface();
    QCOMPARE(panel.size(), QSize(109, 126));
    for (int y = 0; y < 126; ++y) {
        QCOMPARE(panel.pixel(2, y), qRgb(64, 64, 64));
    }
    QCOMPARE(panel.pixel(6, 116), qRgb(0, 0, 0));
}

void IntroAnimationTest::explanationFollowsLastButton() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    auto* lblExplain = w.findChild<QLabel*>(QStringLiteral("lblExplain"));
    auto* btnServer = w.findChild<PictureButton*>(QStringLiteral("btnServer"));
    auto* btnClient = w.findChild<PictureButton*>(QStringLiteral("btnClient"));
    auto connector = [&] {
        return QList<int>{w.Line(5).X1(), w.Line(5).Y1(), w.Line(5).X2(), w.Line(5).Y2(),
                          w.Line(6).X1(), w.Line(6).Y1(), w.Line(6).X2(), w.Line(6).Y2()};
    };
    const QList<int> kClient{192, 176, 240, 176, 240, 176, 240, 200};
    const QList<int> kServer{192, 152, 240, 152, 240, 128, 240, 152};

    w.RunFrame();
    QCOMPARE(lblExplain->text(), QStringLiteral("Usual client mode."));
    QCOMPARE(lblExplain->geometry(), QRect(QPoint(248, 182), lblExplain->sizeHint()));
    QCOMPARE(connector(), kClient);

    // The pointer crosses btnServer: the text follows at the next 350 ms step, not before.
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(btnServer, &move);
    QVERIFY(h.memory.bOverServer);
    h.now += 350;
    w.RunFrame();
    QCOMPARE(lblExplain->pos(), QPoint(248, 182));
    h.now += 1;
    w.RunFrame();
    QCOMPARE(
        lblExplain->text().split(QLatin1Char('\n')),
        (QStringList{QStringLiteral("All data is transfered "), QStringLiteral("trough you.")}));
    QCOMPARE(lblExplain->geometry(), QRect(QPoint(248, 112), lblExplain->sizeHint()));
    QVERIFY(lblExplain->height() > QFontMetrics(lblExplain->font()).height()); // two lines
    QCOMPARE(connector(), kServer);

    // Leaving the button changes nothing; entering btnClient switches back.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(btnServer, &leave);
    h.now += 400;
    w.RunFrame();
    QCOMPARE(connector(), kServer);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(btnClient, &enter);
    QVERIFY(!h.memory.bOverServer);
    h.now += 400;
    w.RunFrame();
    QCOMPARE(lblExplain->pos(), QPoint(248, 182));
    QCOMPARE(connector(), kClient);
}

void IntroAnimationTest::memoryCarriesOverButFrameResets() {
    IntroHarness h;
    AnimClock left;
    {
        frmStart first(h.state, h.memory);
        Frames(h, first, 20, 35, [] { return 0; });
        h.memory.bOverServer = true;
        left = h.memory.animClock;
    }
    const int nTop = h.memory.nAsmTopY;
    QVERIFY(nTop != 0);

    frmStart second(h.state, h.memory);
    // Creation leaves the carried state alone, places the panel lines below line 0 and resets
    // the frame.
    QCOMPARE(h.memory.animClock.nScanX, left.nScanX);
    QCOMPARE(h.memory.animClock.lNextAsm, left.lNextAsm);
    QCOMPARE(int(h.memory.nAsmTopY), nTop);
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
    QCOMPARE(second.findChild<QLabel*>(QStringLiteral("lblExplain"))->pos(), QPoint(248, 112));
}

void IntroAnimationTest::deadlines() {
    {
        // Each deadline comes from the reading after the one that found the effect due.
        // Readings in frame order: logo, credit, explanation, panel.
        IntroHarness h;
        h.state.GetTicks = [&h] { return h.now++; };
        frmStart w(h.state, h.memory);
        w.RunFrame();
        const AnimClock& c = h.memory.animClock;
        QCOMPARE((Ints{c.lNextLogo, c.lNextCredit, c.lNextExplain, c.lNextAsm}),
                 (Ints{1001 + 200, 1003 + 19, 1005 + 350, 1007 + 100}));
    }
    // A first intro after 24.8 days of uptime reads a negative tick: the zero deadlines must
    // still be due rather than wait for the counter to come round.
    IntroHarness h;
    h.now = INT32_MIN + 5000;
    frmStart w(h.state, h.memory);
    auto angle = [&] { return int(h.memory.animClock.nAngle); };
    QCOMPARE(Frames(h, w, 1, 0, angle), Ints{8});
    QCOMPARE(int(h.memory.animClock.nLogoFrame), 1);
    QCOMPARE(int(h.memory.nAsmTopY), -2);
    // A deadline just set is not due at its own tick, only after it.
    QCOMPARE(Frames(h, w, 3, 19, angle), (Ints{8, 8, 16}));
    // Deadlines left by an intro half a counter cycle ago look far ahead; they are due too.
    h.memory.animClock.lNextLogo = h.now + 1000000;
    h.memory.animClock.lNextAsm = h.now + 101;
    w.RunFrame();
    QCOMPARE(int(h.memory.animClock.nLogoFrame), 2);
    QCOMPARE(int(h.memory.nAsmTopY), -4);
}

void IntroAnimationTest::surfaceKeepsTrailAndRepairsStrips() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    {
        // The credit copies accumulate about (432, 168).
        const QImage before = w.Surface().copy();
        auto changed = [&] {
            int n = 0;
            for (int y = 100; y < 240; ++y) {
                for (int x = 300; x < 500; ++x) {
                    n += w.Surface().pixel(x, y) != before.pixel(x, y) ? 1 : 0;
                }
            }
            return n;
        };
        const int nFirst = Frames(h, w, 1, 35, changed).front();
        QVERIFY(nFirst > 0);
        QVERIFY(Frames(h, w, 10, 35, changed).back() > 3 * nFirst);
    }

    // Same reading again: no deadline is due, only lines and the planet move.
    h.now -= 35;
    const int oldX = w.Line(1).X1();
    const int oldY = w.Line(2).Y1();
    const int oldLeft = w.Lined(0).X1();
    w.Surface().fill(Qt::red);
    w.RunFrame();
    for (int y = 8; y <= 320; ++y) {
        QCOMPARE(w.Surface().pixel(oldX, y), BackgroundAt(w, oldX, y));
        QCOMPARE(w.Surface().pixel(w.Line(1).X1(), y), BackgroundAt(w, w.Line(1).X1(), y));
    }
    for (int y = 128; y <= 208; ++y) {
        QCOMPARE(w.Surface().pixel(oldLeft, y), BackgroundAt(w, oldLeft, y));
    }
    QCOMPARE(w.Surface().pixel(oldX - 5, 300), qRgb(255, 0, 0));
    QCOMPARE(w.Surface().pixel(oldLeft - 3, 200), qRgb(255, 0, 0));

    // The planet is whole but for the strips the horizontal scan line left and took.
    const QImage& planet = w.findChild<PicturePanel*>(QStringLiteral("picpl"))->Surface();
    for (int y = 0; y < 106; ++y) {
        const int wy = 24 + y;
        const bool bStrip = wy == oldY || wy == w.Line(2).Y1();
        for (int x = 0; x < 109; ++x) {
            QCOMPARE(w.Surface().pixel(128 + x, wy),
                     bStrip ? BackgroundAt(w, 128 + x, wy) : planet.pixel(x, y));
        }
    }
}

QTEST_MAIN(IntroAnimationTest)
#include "tst_IntroAnimation.moc"
