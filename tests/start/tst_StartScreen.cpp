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
    void windowAndControls();
    void linesStartAtTheirPlaces();
    void focusStartsOnServerThenClient();
    void escapeEndsFromAnyControl();
    void closeBoxOrEscapeEndsTheIntro();
    void clickStopsAfterTheFrameAndCloses();
};

void StartScreenTest::windowAndControls() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    QCOMPARE(w.windowTitle(), QString::fromUtf8("Zaplo\xc2\xae BETA Starup"));
    QCOMPARE(w.minimumSize(), QSize(509, 381));
    QCOMPARE(w.maximumSize(), QSize(509, 381));
    const Qt::WindowFlags flags = w.windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    const QPoint offCentre =
        w.geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    QVERIFY(offCentre.manhattanLength() <= 2);

    const QList<QPair<const char*, QRect>> places{
        {"btnServer", QRect(56, 120, 125, 40)}, {"btnClient", QRect(56, 168, 125, 40)},
        {"pichead", QRect(64, 8, 410, 55)},     {"picLogo", QRect(16, 344, 121, 25)},
        {"picAsm", QRect(384, 240, 113, 130)},  {"picpl", QRect(392, 360, 113, 110)}};
    for (const auto& [name, rect] : places) {
        QCOMPARE(Child<QWidget>(w, name)->geometry(), rect);
    }
    QCOMPARE(Child<PicturePanel>(w, "picAsm")->Surface().size(), QSize(109, 126));
    QCOMPARE(Child<PicturePanel>(w, "picpl")->Surface().size(), QSize(109, 106));
    QVERIFY(Child<PicturePanel>(w, "picpl")->isHidden());
    QCOMPARE(Child<PicturePanel>(w, "picLogo")->Background(), QColor(64, 64, 64));

    auto* lblVersion = Child<QLabel>(w, "lblVersion");
    QCOMPARE(lblVersion->text(),
             QStringLiteral("Version %1.%2").arg(ZAPLO_VERSION_MAJOR).arg(ZAPLO_VERSION_MINOR));
    QCOMPARE(lblVersion->geometry(), QRect(QPoint(288, 360), lblVersion->sizeHint()));
    QCOMPARE(lblVersion->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QVERIFY(!lblVersion->font().bold());
    auto* lblExplain = Child<QLabel>(w, "lblExplain");
    QCOMPARE(lblExplain->text(), QStringLiteral("Gathering..."));
    QCOMPARE(lblExplain->pos(), QPoint(248, 112));
    QCOMPARE(lblExplain->palette().color(QPalette::WindowText), QColor(128, 128, 255));
    QVERIFY(lblExplain->font().bold());
    for (QLabel* label : {lblVersion, lblExplain}) {
        QCOMPARE(label->font().pointSizeF(), 8.25);
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(label->textFormat(), Qt::PlainText);
    }
    // Labels lie under the panels and buttons.
    const QObjectList& kids = w.children();
    QVERIFY(kids.indexOf(lblExplain) < kids.indexOf(Child<PictureButton>(w, "btnServer")));
    QVERIFY(kids.indexOf(lblVersion) < kids.indexOf(Child<PicturePanel>(w, "picLogo")));
}

void StartScreenTest::linesStartAtTheirPlaces() {
    IntroHarness h;
    frmStart w(h.state, h.memory);
    auto line = [](const LineShape& l) {
        return QList<int>{l.X1(), l.Y1(), l.X2(), l.Y2(), int(l.Colour().rgb() & 0xffffff)};
    };
    const QList<QList<int>> want{{48, 8, 48, 320, 0x0000ff},     {16, 72, 480, 72, 0xc0c0ff},
                                 {368, 160, 368, 368, 0x0000ff}, {24, 232, 504, 232, 0x8080ff},
                                 {192, 152, 240, 152, 0x0000ff}, {240, 128, 240, 152, 0x8080ff},
                                 {392, 128, 392, 208, 0x0000ff}, {392, 128, 488, 128, 0x0000ff},
                                 {392, 208, 488, 208, 0x0000ff}, {488, 128, 488, 208, 0x0000ff}};
    QList<QList<int>> got;
    for (int n = 1; n <= 6; ++n) {
        got.append(line(w.Line(n)));
    }
    for (int i = 0; i <= 3; ++i) {
        got.append(line(w.Lined(i)));
    }
    QCOMPARE(got, want);

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

void StartScreenTest::closeBoxOrEscapeEndsTheIntro() {
    {
        IntroHarness h;
        frmStart w(h.state, h.memory);
        w.show();
        QVERIFY(w.close());
        QVERIFY(h.state.Ended());
        QVERIFY(!w.bAnimate);
    }
    // During the intro, close box or Escape on the focused button: the loop returns at once, in
    // the event dispatch of the second frame, without pausing or drawing again.
    for (const bool bEscape : {false, true}) {
        IntroHarness h;
        frmStart w(h.state, h.memory);
        w.show();
        QWidget* target = bEscape ? Child<QWidget>(w, "btnServer") : &w;
        h.onSleep = [&] {
            QCoreApplication::postEvent(
                target, bEscape ? static_cast<QEvent*>(new QKeyEvent(
                                      QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier))
                                : new QCloseEvent());
        };
        w.timerAction_Timer();
        QVERIFY(h.state.Ended());
        QVERIFY(!w.bModeChosen);
        QCOMPARE(h.sleeps, 1);
        QCOMPARE(int(h.memory.animClock.nAngle), 16);
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

QTEST_MAIN(StartScreenTest)
#include "tst_StartScreen.moc"
