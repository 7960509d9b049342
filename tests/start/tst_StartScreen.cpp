// The start screen as a window: its controls, keys, close box and mode buttons.
#include "tests/start/IntroHarness.h"
#include "ui/start/PictureButton.h"
#include "ui/start/PicturePanel.h"
#include "ui/start/frmStart.h"

#include <QLabel>
#include <QScreen>
#include <QtTest>

using namespace zaplo;

namespace {

template <typename T> T* Child(const frmStart& w, const char* name) {
    return w.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class StartScreenTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void windowFrameAndTitle();
    void controlsSitWhereTheyBelong();
    void linesStartAtTheirPlaces();
    void focusStartsOnServerThenClient();
    void escapeEndsFromAnyControl();
    void closeBoxBeforeChoiceEnds();
    void clickStopsAfterTheFrameAndCloses();
    void escapeDuringIntroEndsLoop();
};

void StartScreenTest::windowFrameAndTitle() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    QCOMPARE(w.windowTitle(), QString::fromUtf8("Zaplo\xc2\xae BETA Starup"));
    QCOMPARE(w.size(), QSize(509, 381));
    QCOMPARE(w.minimumSize(), QSize(509, 381));
    QCOMPARE(w.maximumSize(), QSize(509, 381));
    const Qt::WindowFlags flags = w.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(qAbs(w.geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(w.geometry().center().y() - screen.center().y()) <= 1);
    QCOMPARE(w.bAnimate, true);
    QCOMPARE(w.bModeChosen, false);
    QCOMPARE(w.Surface().size(), QSize(509, 381));
}

void StartScreenTest::controlsSitWhereTheyBelong() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    QCOMPARE(Child<PictureButton>(w, "btnServer")->geometry(), QRect(56, 120, 125, 40));
    QCOMPARE(Child<PictureButton>(w, "btnClient")->geometry(), QRect(56, 168, 125, 40));
    QCOMPARE(Child<PicturePanel>(w, "pichead")->geometry(), QRect(64, 8, 410, 55));
    QCOMPARE(Child<PicturePanel>(w, "picLogo")->geometry(), QRect(16, 344, 121, 25));
    auto* picAsm = Child<PicturePanel>(w, "picAsm");
    QCOMPARE(picAsm->geometry(), QRect(384, 240, 113, 130));
    QCOMPARE(picAsm->contentsRect(), QRect(2, 2, 109, 126));
    auto* picpl = Child<PicturePanel>(w, "picpl");
    QCOMPARE(picpl->geometry(), QRect(392, 360, 113, 110));
    QVERIFY(picpl->isHidden());
    QCOMPARE(picpl->Surface().size(), QSize(109, 106));
    QCOMPARE(Child<PicturePanel>(w, "picLogo")->Background(), QColor(64, 64, 64));
    QCOMPARE(picAsm->Background(), QColor(64, 64, 64));

    auto* lblVersion = Child<QLabel>(w, "lblVersion");
    QCOMPARE(lblVersion->text(),
             QStringLiteral("Version %1.%2").arg(ZAPLO_VERSION_MAJOR).arg(ZAPLO_VERSION_MINOR));
    QVERIFY(QRegularExpression(QStringLiteral("^Version [1-9][0-9]*\\.(0|[1-9][0-9]*)$"))
                .match(lblVersion->text())
                .hasMatch());
    QCOMPARE(lblVersion->pos(), QPoint(288, 360));
    QCOMPARE(lblVersion->size(), lblVersion->sizeHint());
    QCOMPARE(lblVersion->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QCOMPARE(lblVersion->font().pointSizeF(), 8.25);
    QVERIFY(!lblVersion->font().bold());
    QVERIFY(!lblVersion->autoFillBackground());
    QCOMPARE(lblVersion->textFormat(), Qt::PlainText);

    auto* lblExplain = Child<QLabel>(w, "lblExplain");
    QCOMPARE(lblExplain->text(), QStringLiteral("Gathering..."));
    QCOMPARE(lblExplain->pos(), QPoint(248, 112));
    QCOMPARE(lblExplain->palette().color(QPalette::WindowText), QColor(128, 128, 255));
    QCOMPARE(lblExplain->font().pointSizeF(), 8.25);
    QVERIFY(lblExplain->font().bold());
    QVERIFY(!lblExplain->autoFillBackground());

    // Labels lie under the panels and buttons.
    const QObjectList& kids = w.children();
    QVERIFY(kids.indexOf(lblExplain) < kids.indexOf(Child<PictureButton>(w, "btnServer")));
    QVERIFY(kids.indexOf(lblVersion) < kids.indexOf(Child<PicturePanel>(w, "picLogo")));
}

void StartScreenTest::linesStartAtTheirPlaces() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    struct Want {
        const LineShape& line;
        QRect ends; // x1, y1, x2, y2 packed as QRect(x1, y1, x2 - x1 + 1, y2 - y1 + 1)
        QColor colour;
    };
    auto ends = [](const LineShape& l) {
        return QRect(QPoint(l.X1(), l.Y1()), QPoint(l.X2(), l.Y2()));
    };
    const Want wants[] = {
        {w.Line(1), QRect(QPoint(48, 8), QPoint(48, 320)), QColor(0, 0, 255)},
        {w.Line(2), QRect(QPoint(16, 72), QPoint(480, 72)), QColor(192, 192, 255)},
        {w.Line(3), QRect(QPoint(368, 160), QPoint(368, 368)), QColor(0, 0, 255)},
        {w.Line(4), QRect(QPoint(24, 232), QPoint(504, 232)), QColor(128, 128, 255)},
        {w.Line(5), QRect(QPoint(192, 152), QPoint(240, 152)), QColor(0, 0, 255)},
        {w.Line(6), QRect(QPoint(240, 128), QPoint(240, 152)), QColor(128, 128, 255)},
        {w.Lined(0), QRect(QPoint(392, 128), QPoint(392, 208)), QColor(0, 0, 255)},
        {w.Lined(1), QRect(QPoint(392, 128), QPoint(488, 128)), QColor(0, 0, 255)},
        {w.Lined(2), QRect(QPoint(392, 208), QPoint(488, 208)), QColor(0, 0, 255)},
        {w.Lined(3), QRect(QPoint(488, 128), QPoint(488, 208)), QColor(0, 0, 255)},
    };
    for (const Want& want : wants) {
        QCOMPARE(ends(want.line), want.ends);
        QCOMPARE(want.line.Colour(), want.colour);
    }

    // The lines are painted over the surface but under the buttons.
    while (w.Line(1).X1() < 70) {
        w.RunFrame();
        h.now += 35;
    }
    const int x = w.Line(1).X1();
    const QImage shot = w.grab().toImage();
    const QImage face = Child<PictureButton>(w, "btnServer")->grab().toImage();
    QCOMPARE(QColor(shot.pixel(x, 110)), QColor(0, 0, 255)); // between the banner and the button
    QCOMPARE(QColor(shot.pixel(200, 232)), QColor(128, 128, 255));
    for (int y = 120; y < 160; ++y) {
        QCOMPARE(QColor(shot.pixel(x, y)), QColor(face.pixel(x - 56, y - 120)));
    }
}

void StartScreenTest::focusStartsOnServerThenClient() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    auto* btnServer = Child<PictureButton>(w, "btnServer");
    auto* btnClient = Child<PictureButton>(w, "btnClient");
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(QApplication::focusWidget(), btnServer);
    QTest::keyClick(btnServer, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), btnClient);
    QTest::keyClick(btnClient, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), btnServer);
}

void StartScreenTest::escapeEndsFromAnyControl() {
    for (const char* name : {"btnServer", "btnClient"}) {
        IntroHarness h;
        frmStart w(h.state, h.memory);
        w.show();
        auto* button = Child<PictureButton>(w, name);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_A); // other keys do nothing
        QVERIFY(!h.state.Ended());
        QTest::keyClick(button, Qt::Key_Escape);
        QVERIFY2(h.state.Ended(), name);
        QVERIFY(!w.bModeChosen);
    }
    // Escape in another window is not ours.
    IntroHarness h;
    frmStart w(h.state, h.memory);
    QWidget other;
    other.show();
    QTest::keyClick(&other, Qt::Key_Escape);
    QVERIFY(!h.state.Ended());
}

void StartScreenTest::closeBoxBeforeChoiceEnds() {
    {
        IntroHarness h;
        frmStart w(h.state, h.memory);
        w.show();
        QVERIFY(w.close());
        QVERIFY(h.state.Ended());
        QVERIFY(!w.bAnimate);
    }
    {
        // During the intro: the loop returns without another frame.
        IntroHarness h;
        frmStart w(h.state, h.memory);
        w.show();
        h.onSleep = [&] {
            if (h.sleeps == 2) {
                QCoreApplication::postEvent(&w, new QCloseEvent());
            }
        };
        w.timerAction_Timer();
        QVERIFY(h.state.Ended());
        QVERIFY(!w.bModeChosen);
        QCOMPARE(h.sleeps, 2);
        QCOMPARE(int(h.memory.animClock.nAngle), 24);
    }
}

void StartScreenTest::clickStopsAfterTheFrameAndCloses() {
    for (const int nWant : {0, 1}) {
        IntroHarness h;
        h.state.nMode = 1 - nWant;
        frmStart w(h.state, h.memory);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* button = Child<PictureButton>(w, nWant == 0 ? "btnServer" : "btnClient");
        h.onSleep = [&] {
            if (h.sleeps == 3) {
                // Runs in the event dispatch of the fourth frame.
                QMetaObject::invokeMethod(
                    button, [button] { QTest::mouseClick(button, Qt::LeftButton); },
                    Qt::QueuedConnection);
            }
        };
        w.timerAction_Timer();
        QCOMPARE(h.state.nMode, nWant);
        QVERIFY(w.bModeChosen);
        QVERIFY(!w.bAnimate);
        QVERIFY(!h.state.Ended());
        QVERIFY(!w.isVisible());
        QCOMPARE(h.sleeps, 4);                           // the clicked frame still pauses
        QCOMPARE(int(h.memory.animClock.nAngle), 4 * 8); // and no fifth frame is drawn
    }
}

void StartScreenTest::escapeDuringIntroEndsLoop() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    w.show();
    auto* btnServer = Child<PictureButton>(w, "btnServer");
    h.onSleep = [&] {
        if (h.sleeps == 1) {
            QCoreApplication::postEvent(
                btnServer, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        }
    };
    w.timerAction_Timer();
    QVERIFY(h.state.Ended());
    QCOMPARE(h.sleeps, 1);
}

QTEST_MAIN(StartScreenTest)
#include "tst_StartScreen.moc"
