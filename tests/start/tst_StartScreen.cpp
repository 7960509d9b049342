// SPDX-License-Identifier: MIT
// The start screen: a drawn frame as the user sees it, then keys, close and clicks.
#include "base/AppState.h"
#include "ui/start/PictureButton.h"
#include "ui/start/frmStart.h"

#include <QLabel>
#include <QtTest>

#include <functional>

using namespace zaplo;

namespace {

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

QRgb Asset(const char* name, int x, int y) {
    return QImage(QStringLiteral(":/assets/") + QLatin1String(name)).pixel(x, y);
}

// How many pixels of `area` pass `test`.
int Count(const QImage& shot, const QRect& area, const std::function<bool(QRgb)>& test) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            n += test(shot.pixel(x, y)) ? 1 : 0;
        }
    }
    return n;
}

} // namespace

class StartScreenTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void theFirstFrameAsDrawn() {
        Harness h;
        frmStart w(h.state, h.memory);
        w.RunFrame();
        const QImage shot = w.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.size(), QSize(509, 381));
        // The scan lines and the frame's left side one step on; the background where they were.
        QCOMPARE(shot.pixel(51, 100), qRgb(0, 0, 255));
        QCOMPARE(shot.pixel(48, 100), Asset("background.png", 48, 100));
        QCOMPARE(shot.pixel(300, 74), qRgb(192, 192, 255));
        QCOMPARE(shot.pixel(376, 180), qRgb(0, 0, 255));
        // The planet copied to (128, 24); the logo's second colouring in picLogo.
        QCOMPARE(shot.pixel(128 + 50, 24 + 80), Asset("planet.png", 50, 80));
        QCOMPARE(shot.pixel(16 + 60, 344 + 12), Asset("logo5.png", 60, 12));
        // The credit line's black cells about (432, 168) with light blue text in them; the
        // panel's texts on its grey inner area.
        const QRect credit(432, 155, 72, 20);
        QVERIFY(Count(shot, credit, [](QRgb p) { return p == qRgb(0, 0, 0); }) > 400);
        QVERIFY(Count(shot, credit, [](QRgb p) { return qBlue(p) > 150 && qRed(p) < 150; }) > 40);
        QCOMPARE(Count(shot, {388, 242, 1, 126}, [](QRgb p) { return p == qRgb(64, 64, 64); }),
                 126);
        QVERIFY(Count(shot, {386, 242, 109, 126}, [](QRgb p) { return qRed(p) > 150; }) > 100);
        // The explanation of the client mode, and the window's texts.
        const auto* lblExplain = w.findChild<QLabel*>(QStringLiteral("lblExplain"));
        QCOMPARE(lblExplain->pos(), QPoint(248, 182));
        QCOMPARE(lblExplain->text(), QStringLiteral("Usual client mode."));
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("lblVersion"))->text(),
                 QStringLiteral("Version 1.0"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Zaplo\u00AE BETA Starup"));
        // Crossing btnServer picks the server explanation; leaving it again changes nothing.
        auto* btnServer = w.findChild<PictureButton*>(QStringLiteral("btnServer"));
        QMouseEvent move(QEvent::MouseMove, QPointF(9, 9), QPointF(9, 9), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(btnServer, &move);
        QCoreApplication::sendEvent(btnServer, &leave);
        QVERIFY(h.memory.bOverServer);
    }

    void escapeCloseOrClickStopTheLoop_data() {
        QTest::addColumn<QString>("act");
        QTest::addColumn<bool>("bEnded");
        QTest::addColumn<int>("nSleeps");
        // Escape on the focused button and the close box end the program at once; a click lets
        // its frame pause, then the loop stops and closes the window.
        QTest::newRow("Escape") << QStringLiteral("Escape") << true << 2;
        QTest::newRow("close box") << QStringLiteral("Close") << true << 2;
        QTest::newRow("Server") << QStringLiteral("btnServer") << false << 3;
        QTest::newRow("Client") << QStringLiteral("btnClient") << false << 3;
    }
    void escapeCloseOrClickStopTheLoop() {
        QFETCH(QString, act);
        QFETCH(bool, bEnded);
        QFETCH(int, nSleeps);
        Harness h;
        h.state.nMode = act == u"btnServer" ? Mode::Client : Mode::Server;
        frmStart w(h.state, h.memory);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* button = w.findChild<PictureButton*>(
            act == u"btnClient" ? QStringLiteral("btnClient") : QStringLiteral("btnServer"));
        button->setFocus();
        // A key that does nothing in the event dispatch of the second frame, the act in the third.
        h.onSleep = [&, n = 0]() mutable {
            if (++n <= 2) {
                QTimer::singleShot(0, &w, [&, n] {
                    if (n == 1 || act == u"Escape") {
                        QTest::keyClick(button, n == 1 ? Qt::Key_A : Qt::Key_Escape);
                    } else {
                        act == u"Close" ? void(w.close())
                                        : QTest::mouseClick(button, Qt::LeftButton);
                    }
                });
            } else if (n > 5) {
                h.state.EndProgram(); // a loop that goes on fails instead of hanging
            }
        };
        w.timerAction_Timer();
        QCOMPARE(h.state.Ended(), bEnded);
        QCOMPARE(w.bModeChosen, !bEnded);
        QCOMPARE(h.sleeps, nSleeps);
        QCOMPARE(int(h.memory.animClock.nAngle), 3 * 8); // no further frame is drawn
        if (!bEnded) {
            QVERIFY(!w.isVisible());
            QVERIFY(h.state.nMode == (act == u"btnServer" ? Mode::Server : Mode::Client));
        }
    }
};

QTEST_MAIN(StartScreenTest)
#include "tst_StartScreen.moc"
