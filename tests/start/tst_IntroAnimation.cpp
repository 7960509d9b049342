// SPDX-License-Identifier: MIT
// The intro animation's steps on a hand-driven clock, without any window.
#include "ui/start/IntroAnimation.h"

#include <QtTest>

using namespace zaplo;

namespace {

using Ints = QList<int>;
enum Read : int { ScanX, ScanY, Side0, Side1, Side2, Side3, Angle, Logo, AsmTop };

// from, from + step, ... up to and including `to`.
Ints Range(int from, int to, int step) {
    Ints out;
    for (int v = from; step > 0 ? v <= to : v >= to; v += step) {
        out.push_back(v);
    }
    return out;
}

int ReadOf(const IntroAnimation& a, Read what) {
    const AnimClock& clock = a.Memory().animClock;
    const int value[] = {a.Line(1).x1,  a.Line(2).y1,     a.Lined(0).x1,
                         a.Lined(1).y1, a.Lined(2).y2,    a.Lined(3).x2,
                         clock.nAngle,  clock.nLogoFrame, a.asmLines[0].nY};
    return value[what];
}

} // namespace

class IntroAnimationTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sequencesOfAFreshIntro_data() {
        QTest::addColumn<int>("what");
        QTest::addColumn<int>("nFrameMs");
        QTest::addColumn<int>("nStart"); // tick of the first frame
        QTest::addColumn<Ints>("expected");
        // The bounds act one step late; a scan line's reset to its low bound and its new step
        // fall in the same frame, the frame's sides only turn.
        QTest::newRow("Line1 x") << int(ScanX) << 35 << 1000
                                 << Range(51, 99, 3) + Range(96, 45, -3) + Range(51, 57, 3);
        QTest::newRow("Line2 y") << int(ScanY) << 35 << 1000
                                 << Range(74, 98, 2) + Range(96, 70, -2) + Range(74, 78, 2);
        QTest::newRow("Lined 0") << int(Side0) << 35 << 1000
                                 << Range(376, 436, 4) + Range(432, 368, -4) + Ints{372, 376};
        QTest::newRow("Lined 1") << int(Side1) << 35 << 1000
                                 << Range(112, 164, 4) + Range(160, 104, -4) + Ints{108};
        QTest::newRow("Lined 2") << int(Side2) << 35 << 1000
                                 << Range(224, 172, -4) + Range(176, 232, 4) + Ints{228};
        QTest::newRow("Lined 3") << int(Side3) << 35 << 1000
                                 << Range(504, 444, -4) + Range(448, 512, 4) + Ints{508};
        // 0 never occurs; 368 becomes 8.
        QTest::newRow("credit angle") << int(Angle) << 35 << 1000 << Range(8, 360, 8) + Ints{8, 16};
        // The 19 ms step comes at most once per frame, so 10 ms frames get every second one; after
        // 24.8 days of uptime the tick is negative, and the zero deadlines are still due.
        QTest::newRow("credit, counter wrapped")
            << int(Angle) << 10 << INT32_MIN + 5000 << Ints{8, 8, 16, 16, 24};
        // Resources 5, 6, 4, 5: a new frame every sixth 35 ms frame (210 ms > 200).
        QTest::newRow("logo") << int(Logo) << 35 << 1000
                              << Ints(6, 1) + Ints(6, 2) + Ints(6, 0) + Ints{1};
        // Every third frame; a line going from -10 to -12 moves to 126.
        QTest::newRow("panel line 0") << int(AsmTop) << 35 << 1000
                                      << Ints(3, -2) + Ints(3, -4) + Ints(3, -6) + Ints(3, -8) +
                                             Ints(3, -10) + Ints(3, 126) + Ints{124};
    }
    void sequencesOfAFreshIntro() {
        QFETCH(int, what);
        QFETCH(int, nFrameMs);
        QFETCH(int, nStart);
        QFETCH(Ints, expected);
        IntroMemory memory;
        IntroAnimation anim(memory);
        int32_t now = nStart;
        Ints seen;
        while (seen.size() < expected.size()) {
            anim.Advance([&] { return now; });
            seen.push_back(ReadOf(anim, static_cast<Read>(what)));
            now += nFrameMs;
        }
        QCOMPARE(seen, expected);
    }

    void explanationFollowsTheLastButtonCrossed() {
        IntroMemory memory;
        IntroAnimation anim(memory);
        QCOMPARE(QString::fromLatin1(anim.Explain().szText), QStringLiteral("Gathering..."));
        int32_t now = 1000;
        auto frameAfter = [&](int ms, bool bOverServer) {
            now += ms;
            memory.bOverServer = bOverServer;
            anim.Advance([&] { return now; });
            const Segment& l5 = anim.Line(5);
            const Segment& l6 = anim.Line(6);
            return QString::asprintf("%d %s %d %d %d %d", anim.Explain().nTop,
                                     anim.Explain().szText, l5.y1, l5.y2, l6.y1, l6.y2);
        };
        const QString client = QStringLiteral("182 Usual client mode. 176 176 176 200");
        QCOMPARE(frameAfter(0, false), client);
        QCOMPARE(frameAfter(350, true), client); // due only once the clock is past 350 ms
        QCOMPARE(frameAfter(1, true),
                 QStringLiteral("112 All data is transfered \ntrough you. 152 152 128 152"));
        QCOMPARE(frameAfter(400, false), client);
    }

    void aLaterIntroGoesOnFromTheMemory() {
        IntroMemory memory;
        int32_t now = 1000;
        IntroAnimation first(memory);
        for (; now < 1700; now += 35) {
            first.Advance([&] { return now; });
        }
        IntroAnimation second(memory); // the panel's lines 10 pixels apart below the kept first
        QCOMPARE(int(second.asmLines[12].nY), memory.nAsmTopY + 120);
        second.Advance([&] { return now; }); // the scan line goes on from 90, the frame afresh
        QCOMPARE(QPoint(second.Line(1).x1, second.Lined(0).x1), QPoint(90 - 3, 376));
    }
};

QTEST_APPLESS_MAIN(IntroAnimationTest)
#include "tst_IntroAnimation.moc"
