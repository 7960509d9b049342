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

constexpr QRgb kGrey = 0xff404040; // (64, 64, 64)

// The background pixel the window repairs to at (x, y).
QRgb BackgroundAt(const frmStart& w, int x, int y) {
    const QImage& bg = w.BackgroundPicture();
    return bg.isNull() ? qRgb(0, 0, 0) : bg.pixel(x, y) | 0xff000000;
}

std::vector<int> Frames(IntroHarness& h, frmStart& w, int count, int step,
                        const std::function<int()>& read) {
    std::vector<int> seen;
    for (int i = 0; i < count; ++i) {
        w.RunFrame();
        seen.push_back(read());
        h.now += step;
    }
    return seen;
}

} // namespace

class IntroAnimationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void scanLinesBounceOneStepLate();
    void creditAnglesSkipZero();
    void frameSidesOvershootTheirBounds();
    void logoCyclesEvery200ms();
    void panelScrollsAndWraps();
    void explanationFollowsLastButton();
    void memoryCarriesOverButFrameResets();
    void staleDeadlinesCountAsDue();
    void deadlinesTakeAFreshReading();
    void movedLinesRepairTheSurface();
    void creditLeavesATrail();
};

void IntroAnimationTest::scanLinesBounceOneStepLate() {
    IntroHarness h;
    frmStart w(h.state, h.memory);

    std::vector<int> wantX;
    for (int x = 51; x <= 99; x += 3) {
        wantX.push_back(x);
    }
    for (int x = 96; x >= 45; x -= 3) {
        wantX.push_back(x);
    }
    wantX.push_back(51); // reset to 48 and step +3 in the same frame
    wantX.push_back(54);

    std::vector<int> wantY;
    for (int y = 74; y <= 98; y += 2) {
        wantY.push_back(y);
    }
    for (int y = 96; y >= 70; y -= 2) {
        wantY.push_back(y);
    }
    wantY.push_back(74);

    std::vector<int> gotX;
    std::vector<int> gotY;
    for (std::size_t i = 0; i < wantX.size(); ++i) {
        w.RunFrame();
        h.now += 35;
        gotX.push_back(w.Line(1).X1());
        gotY.push_back(w.Line(2).Y1());
        // Both ends move together; the other extent stays.
        QCOMPARE(w.Line(1).X2(), w.Line(1).X1());
        QCOMPARE(w.Line(1).Y1(), 8);
        QCOMPARE(w.Line(1).Y2(), 320);
        QCOMPARE(w.Line(2).Y2(), w.Line(2).Y1());
        QCOMPARE(w.Line(2).X1(), 16);
        QCOMPARE(w.Line(2).X2(), 480);
        QCOMPARE(int(h.memory.animClock.nScanX), w.Line(1).X1());
        QCOMPARE(int(h.memory.animClock.nScanY), w.Line(2).Y1());
    }
    QCOMPARE(gotX, wantX);
    gotY.resize(wantY.size());
    QCOMPARE(gotY, wantY);
}

void IntroAnimationTest::creditAnglesSkipZero() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    std::vector<int> want;
    for (int a = 8; a <= 360; a += 8) {
        want.push_back(a);
    }
    want.push_back(8);
    want.push_back(16);
    const auto got =
        Frames(h, w, int(want.size()), 35, [&] { return int(h.memory.animClock.nAngle); });
    QCOMPARE(got, want);

    // With frames 10 ms apart the 19 ms step only comes every second frame.
    const auto slow = Frames(h, w, 4, 10, [&] { return int(h.memory.animClock.nAngle); });
    QCOMPARE(slow, (std::vector<int>{24, 24, 32, 32}));
}

void IntroAnimationTest::frameSidesOvershootTheirBounds() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    std::vector<int> wantLeft;
    for (int x = 376; x <= 436; x += 4) {
        wantLeft.push_back(x);
    }
    for (int x = 432; x >= 368; x -= 4) {
        wantLeft.push_back(x);
    }
    wantLeft.push_back(372);
    wantLeft.push_back(376);

    std::vector<int> left;
    std::vector<int> top;
    std::vector<int> bottom;
    std::vector<int> right;
    for (std::size_t i = 0; i < wantLeft.size(); ++i) {
        w.RunFrame();
        h.now += 35;
        left.push_back(w.Lined(0).X1());
        top.push_back(w.Lined(1).Y1());
        bottom.push_back(w.Lined(2).Y1());
        right.push_back(w.Lined(3).X1());
        QCOMPARE(w.Lined(0).X2(), w.Lined(0).X1());
        QCOMPARE(w.Lined(0).Y1(), 128);
        QCOMPARE(w.Lined(0).Y2(), 208);
        QCOMPARE(w.Lined(1).X1(), 392);
        QCOMPARE(w.Lined(1).X2(), 488);
        QCOMPARE(w.Lined(2).Y2(), w.Lined(2).Y1());
        QCOMPARE(w.Lined(3).Y1(), 128);
        QCOMPARE(w.Lined(3).Y2(), 208);
        QCOMPARE(int(w.nFramePos[0]), w.Lined(0).X1());
    }
    QCOMPARE(left, wantLeft);
    // The other sides: top 108 -> 112 .. 164, turns; bottom 228 -> 224 .. 172, turns; right
    // 508 -> 504 .. 444, turns.
    QCOMPARE(top.front(), 112);
    QCOMPARE(top[13], 164);
    QCOMPARE(top[14], 160);
    QCOMPARE(bottom.front(), 224);
    QCOMPARE(bottom[12], 176);
    QCOMPARE(bottom[13], 172);
    QCOMPARE(bottom[14], 176);
    QCOMPARE(right.front(), 504);
    QCOMPARE(right[15], 444);
    QCOMPARE(right[16], 448);
}

void IntroAnimationTest::logoCyclesEvery200ms() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    auto* picLogo = w.findChild<PicturePanel*>(QStringLiteral("picLogo"));
    QVERIFY(picLogo);

    std::vector<int> changedAt;
    std::vector<int> order;
    int last = h.memory.animClock.nLogoFrame;
    for (int frame = 0; frame < 25; ++frame) {
        w.RunFrame();
        const int shown = h.memory.animClock.nLogoFrame;
        if (shown != last || frame == 0) {
            changedAt.push_back(frame);
            order.push_back(shown);
            const QImage& picture = w.picFrames[std::size_t(shown)];
            const QImage& surface = picLogo->Surface();
            if (picture.isNull()) {
                QCOMPARE(surface.pixel(60, 12), kGrey);
            } else {
                QCOMPARE(surface.convertToFormat(QImage::Format_RGB32),
                         picture.convertToFormat(QImage::Format_RGB32));
            }
        }
        last = shown;
        h.now += 35;
    }
    // Frames 35 ms apart: the first comes at once, then one every sixth frame (210 ms > 200).
    QCOMPARE(changedAt, (std::vector<int>{0, 6, 12, 18, 24}));
    QCOMPARE(order, (std::vector<int>{1, 2, 0, 1, 2})); // resources 5, 6, 4, 5, 6
}

void IntroAnimationTest::panelScrollsAndWraps() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    for (std::size_t i = 0; i < w.asmLines.size(); ++i) {
        QCOMPARE(int(w.asmLines[i].nY), 10 * int(i));
    }
    QCOMPARE(w.asmLines[0].szText, QStringLiteral("mov ax, 0xA000"));
    QCOMPARE(w.asmLines[12].szText, QStringLiteral("mov es:[di], ah"));

    // 35 ms frames: the panel steps at once, then whenever more than 100 ms have passed.
    std::vector<int> tops = Frames(h, w, 16, 35, [&] { return int(w.asmLines[0].nY); });
    QCOMPARE(tops, (std::vector<int>{-2, -2, -2, -4, -4, -4, -6, -6, -6, -8, -8, -8, -10, -10, -10,
                                     126}));
    QCOMPARE(int(h.memory.nAsmTopY), 126);
    QCOMPARE(int(w.asmLines[1].nY), 10 - 12);
    QCOMPARE(int(w.asmLines[12].nY), 120 - 12);

    // The panel is cleared before the texts are drawn: left of the text column it is plain grey.
    auto* picAsm = w.findChild<PicturePanel*>(QStringLiteral("picAsm"));
    QVERIFY(picAsm);
    QCOMPARE(picAsm->Surface().size(), QSize(109, 126));
    for (int y = 0; y < 126; ++y) {
        QCOMPARE(picAsm->Surface().pixel(2, y), kGrey);
    }
    // The last step drew line 12 with its top at 110 + 5 on a black cell.
    bool bBlackCell = false;
    for (int x = 5; x < 60; ++x) {
        bBlackCell = bBlackCell || picAsm->Surface().pixel(x, 116) == qRgb(0, 0, 0);
    }
    QVERIFY(bBlackCell);
}

void IntroAnimationTest::explanationFollowsLastButton() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    auto* lblExplain = w.findChild<QLabel*>(QStringLiteral("lblExplain"));
    auto* btnServer = w.findChild<PictureButton*>(QStringLiteral("btnServer"));
    auto* btnClient = w.findChild<PictureButton*>(QStringLiteral("btnClient"));
    QVERIFY(lblExplain && btnServer && btnClient);
    QCOMPARE(lblExplain->text(), QStringLiteral("Gathering..."));

    w.RunFrame();
    QCOMPARE(lblExplain->text(), QStringLiteral("Usual client mode."));
    QCOMPARE(lblExplain->pos(), QPoint(248, 182));
    QCOMPARE(lblExplain->size(), lblExplain->sizeHint());
    QCOMPARE(w.Line(5).Y1(), 176);
    QCOMPARE(w.Line(5).Y2(), 176);
    QCOMPARE(w.Line(6).Y1(), 176);
    QCOMPARE(w.Line(6).Y2(), 200);
    QCOMPARE(w.Line(6).X1(), 240);

    // The pointer crosses btnServer: the text follows only at the next 350 ms step.
    QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), QPointF(10, 10), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(btnServer, &move);
    QVERIFY(h.memory.bOverServer);
    h.now += 350;
    w.RunFrame();
    QCOMPARE(lblExplain->text(), QStringLiteral("Usual client mode."));
    h.now += 1;
    w.RunFrame();
    QCOMPARE(
        lblExplain->text().split(QLatin1Char('\n')),
        (QStringList{QStringLiteral("All data is transfered "), QStringLiteral("trough you.")}));
    QCOMPARE(lblExplain->pos(), QPoint(248, 112));
    QVERIFY(lblExplain->height() > QFontMetrics(lblExplain->font()).height()); // two lines
    QCOMPARE(w.Line(5).Y1(), 152);
    QCOMPARE(w.Line(5).Y2(), 152);
    QCOMPARE(w.Line(5).X1(), 192);
    QCOMPARE(w.Line(5).X2(), 240);
    QCOMPARE(w.Line(6).Y1(), 128);
    QCOMPARE(w.Line(6).Y2(), 152);

    // Leaving the button changes nothing.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(btnServer, &leave);
    h.now += 400;
    w.RunFrame();
    QCOMPARE(lblExplain->pos(), QPoint(248, 112));

    // Entering btnClient switches back.
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(btnClient, &enter);
    QVERIFY(!h.memory.bOverServer);
    h.now += 400;
    w.RunFrame();
    QCOMPARE(lblExplain->pos(), QPoint(248, 182));
    QCOMPARE(w.Line(5).Y1(), 176);
}

void IntroAnimationTest::memoryCarriesOverButFrameResets() {
    IntroHarness h;
    AnimClock left;
    {
        frmStart first(h.state, h.memory);
        for (int i = 0; i < 20; ++i) {
            first.RunFrame();
            h.now += 35;
        }
        h.memory.bOverServer = true;
        left = h.memory.animClock;
    }
    const int16_t nTop = h.memory.nAsmTopY;
    QVERIFY(nTop != 0);
    QCOMPARE(int(left.nAngle), 160);

    frmStart second(h.state, h.memory);
    // Creation leaves the carried state alone ...
    QCOMPARE(h.memory.animClock.nScanX, left.nScanX);
    QCOMPARE(h.memory.animClock.lNextAsm, left.lNextAsm);
    QCOMPARE(h.memory.nAsmTopY, nTop);
    // ... but places the panel lines below line 0 and resets the frame.
    for (std::size_t i = 0; i < second.asmLines.size(); ++i) {
        QCOMPARE(int(second.asmLines[i].nY), nTop + 10 * int(i));
    }
    QCOMPARE(second.nFramePos, (std::array<int16_t, 4>{372, 108, 228, 508}));
    QCOMPARE(second.nFrameStep, (std::array<int16_t, 4>{4, 4, -4, -4}));
    QCOMPARE(second.bAnimate, true);
    QCOMPARE(second.bModeChosen, false);

    h.now += 1000;
    second.RunFrame();
    QCOMPARE(int(h.memory.animClock.nScanX), left.nScanX + left.nScanStepX);
    QCOMPARE(int(h.memory.animClock.nAngle), 168);
    QCOMPARE(int(h.memory.animClock.nLogoFrame), (left.nLogoFrame + 1) % 3);
    QCOMPARE(second.Lined(0).X1(), 376);
    auto* lblExplain = second.findChild<QLabel*>(QStringLiteral("lblExplain"));
    QCOMPARE(lblExplain->pos(), QPoint(248, 112)); // the server text from the first frame on
}

void IntroAnimationTest::staleDeadlinesCountAsDue() {
    // A first intro after 24.8 days of uptime reads a negative tick: the zero deadlines must
    // still be due, not wait for the counter to come round.
    IntroHarness h;
    h.now = INT32_MIN + 5000;
    frmStart w(h.state, h.memory);
    w.RunFrame();
    QCOMPARE(int(h.memory.animClock.nLogoFrame), 1);
    QCOMPARE(int(h.memory.animClock.nAngle), 8);
    QCOMPARE(int(h.memory.nAsmTopY), -2);
    QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblExplain"))->text(),
             QStringLiteral("Usual client mode."));

    // A deadline just set is not due again at the same reading, nor just before it.
    w.RunFrame();
    QCOMPARE(int(h.memory.animClock.nAngle), 8);
    h.now += 19;
    w.RunFrame();
    QCOMPARE(int(h.memory.animClock.nAngle), 8);
    h.now += 1;
    w.RunFrame();
    QCOMPARE(int(h.memory.animClock.nAngle), 16);

    // Deadlines left by an intro half a counter cycle ago look far ahead; they are due too.
    h.memory.animClock.lNextLogo = h.now + 1000000;
    h.memory.animClock.lNextAsm = h.now + 101;
    w.RunFrame();
    QCOMPARE(int(h.memory.animClock.nLogoFrame), 2);
    QCOMPARE(int(h.memory.nAsmTopY), -4);
}

void IntroAnimationTest::deadlinesTakeAFreshReading() {
    // A clock that moves on with every reading: each deadline comes from the reading after the
    // one that found the effect due. Readings in frame order: logo, credit, explanation, panel.
    IntroHarness h;
    h.state.GetTicks = [&h] { return h.now++; };
    frmStart w(h.state, h.memory);
    w.RunFrame();
    QCOMPARE(h.memory.animClock.lNextLogo, 1001 + 200);
    QCOMPARE(h.memory.animClock.lNextCredit, 1003 + 19);
    QCOMPARE(h.memory.animClock.lNextExplain, 1005 + 350);
    QCOMPARE(h.memory.animClock.lNextAsm, 1007 + 100);
}

void IntroAnimationTest::movedLinesRepairTheSurface() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    w.RunFrame(); // every deadline now lies ahead; the next frame only moves lines and the planet
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
    // Beside the strips the surface keeps what was drawn on it.
    QCOMPARE(w.Surface().pixel(oldX - 5, 300), qRgb(255, 0, 0));
    QCOMPARE(w.Surface().pixel(oldLeft - 3, 200), qRgb(255, 0, 0));
    QCOMPARE(w.Surface().pixel(10, 370), qRgb(255, 0, 0));

    // The planet is copied whole, except for the strips the horizontal scan line just left and
    // took, which show the background until the next frame.
    const QImage& planet = w.findChild<PicturePanel*>(QStringLiteral("picpl"))->Surface();
    for (int y = 0; y < 106; ++y) {
        const int wy = 24 + y;
        for (int x = 0; x < 109; ++x) {
            const QRgb want = (wy == oldY || wy == w.Line(2).Y1()) ? BackgroundAt(w, 128 + x, wy)
                                                                   : planet.pixel(x, y);
            QCOMPARE(w.Surface().pixel(128 + x, wy), want);
        }
    }
}

void IntroAnimationTest::creditLeavesATrail() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    const QImage before = w.Surface().copy();
    // Around (432, 168), away from the moving frame sides and the planet.
    const QRect ring(300, 100, 200, 140);
    auto changed = [&] {
        int n = 0;
        for (int y = ring.top(); y <= ring.bottom(); ++y) {
            for (int x = ring.left(); x <= ring.right(); ++x) {
                n += w.Surface().pixel(x, y) != before.pixel(x, y) ? 1 : 0;
            }
        }
        return n;
    };
    w.RunFrame();
    h.now += 35;
    const int nFirst = changed();
    QVERIFY(nFirst > 0);
    for (int i = 0; i < 10; ++i) {
        w.RunFrame();
        h.now += 35;
    }
    // Earlier angles stay: ten more copies cover far more than one.
    QVERIFY2(changed() > 3 * nFirst, qPrintable(QString::number(changed())));
}

QTEST_MAIN(IntroAnimationTest)
#include "tst_IntroAnimation.moc"
