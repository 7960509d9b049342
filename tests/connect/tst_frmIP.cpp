#include "app/AppState.h"
#include "ui/connect/FaceButton.h"
#include "ui/connect/frmIP.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <memory>

using zaplo::AppState;
using zaplo::FaceButton;
using zaplo::frmIP;

namespace {

// Sentinel settings, so that a test sees whether the dialog wrote anything.
void SetSentinels(AppState& state) {
    state.nPort = 4242;
    state.szServerIP = "sentinel.ip";
    state.szNick = "sentinel";
}

QLineEdit* Box(frmIP& dlg, const char* szName) {
    auto* box = dlg.findChild<QLineEdit*>(QLatin1String(szName));
    Q_ASSERT(box);
    return box;
}

QLabel* Label(frmIP& dlg, const char* szName) {
    auto* label = dlg.findChild<QLabel*>(QLatin1String(szName));
    Q_ASSERT(label);
    return label;
}

FaceButton* Button(frmIP& dlg, const char* szName) {
    auto* button = dlg.findChild<FaceButton*>(QLatin1String(szName));
    Q_ASSERT(button);
    return button;
}

QColor PixelAt(QWidget& widget, QPoint pt) {
    return widget.grab().toImage().pixelColor(pt);
}

} // namespace

class TestFrmIP : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        state_ = std::make_unique<AppState>();
        state_->onEnd = nullptr;
    }
    void cleanup() { state_.reset(); }

    void windowFrameTitleAndSize() {
        frmIP dlg(*state_);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Connection Settings"));
        QCOMPARE(dlg.windowType(), Qt::Tool);
        const Qt::WindowFlags flags = dlg.windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
        QCOMPARE(dlg.size(), QSize(218, 109));
        QCOMPARE(dlg.minimumSize(), QSize(218, 109));
        QCOMPARE(dlg.maximumSize(), QSize(218, 109));
        QCOMPARE(dlg.font().pointSizeF(), 8.25);
        QCOMPARE(dlg.font().weight(), QFont::Normal);
        QCOMPARE(dlg.font().styleHint(), QFont::SansSerif);

        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.size(), QSize(218, 109));
        const QRect rcScreen = dlg.screen()->availableGeometry();
        QVERIFY2((dlg.frameGeometry().center() - rcScreen.center()).manhattanLength() <= 4,
                 "the dialog opens centred on the screen");
    }

    void controlsAndDefaults() {
        frmIP dlg(*state_);
        QCOMPARE(Box(dlg, "txtPort")->text(), QStringLiteral("201"));
        QCOMPARE(Box(dlg, "txtIP")->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(Box(dlg, "txtNick")->text(), QString());
        QCOMPARE(Box(dlg, "txtNick")->maxLength(), 16);
        QCOMPARE(Box(dlg, "txtPort")->maxLength(), 6);
        QVERIFY(Box(dlg, "txtIP")->maxLength() >= 32767);
        QVERIFY(!dlg.bCanceled);

        QCOMPARE(Box(dlg, "txtNick")->geometry(), QRect(64, 16, 137, 19));
        QCOMPARE(Box(dlg, "txtIP")->geometry(), QRect(64, 40, 137, 19));
        QCOMPARE(Box(dlg, "txtPort")->geometry(), QRect(40, 72, 65, 19));
        QCOMPARE(Button(dlg, "btnOK")->geometry(), QRect(112, 72, 49, 33));
        QCOMPARE(Button(dlg, "btnCancel")->geometry(), QRect(160, 72, 49, 33));

        const struct {
            const char* szName;
            const char* szText;
            QPoint pt;
        } labels[] = {{"Label3", "Nickname:", {8, 16}},
                      {"Label1", "Server IP:", {8, 42}},
                      {"Label2", "Port:", {8, 72}}};
        for (const auto& expected : labels) {
            QLabel* label = Label(dlg, expected.szName);
            QCOMPARE(label->text(), QLatin1String(expected.szText));
            QCOMPARE(label->pos(), expected.pt);
            QCOMPARE(label->size(), label->sizeHint());
            QVERIFY(!label->autoFillBackground());
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(128, 128, 255));
        }

        QCOMPARE(Box(dlg, "txtNick")->palette().color(QPalette::Base), QColor(64, 64, 64));
        QCOMPARE(Box(dlg, "txtIP")->palette().color(QPalette::Base), QColor(64, 64, 64));
        QCOMPARE(Box(dlg, "txtPort")->palette().color(QPalette::Base), QColor(0, 64, 64));
        for (const char* szBox : {"txtNick", "txtIP", "txtPort"}) {
            QCOMPARE(Box(dlg, szBox)->palette().color(QPalette::Text), QColor(192, 192, 255));
        }
    }

    void paintsItsColours() {
        state_->nMode = 1;
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        // Empty parts of the window and of the boxes, away from text and frames.
        QCOMPARE(PixelAt(dlg, {214, 4}), QColor(Qt::black));
        QCOMPARE(PixelAt(dlg, {190, 25}), QColor(64, 64, 64));
        QCOMPARE(PixelAt(dlg, {190, 49}), QColor(64, 64, 64));
        QCOMPARE(PixelAt(dlg, {98, 81}), QColor(0, 64, 64));
        // The labels are transparent: the black window shows around their letters.
        QCOMPARE(PixelAt(dlg, Label(dlg, "Label3")->geometry().topLeft()), QColor(Qt::black));
    }

    void buttonsShowTheirFacesAndNames() {
        frmIP dlg(*state_);
        const struct {
            const char* szName;
            const char* szText;
            const char* szFace;
        } buttons[] = {{"btnOK", "OK", ":/assets/btnok.png"},
                       {"btnCancel", "CANCEL", ":/assets/btncancel.png"}};
        for (const auto& expected : buttons) {
            FaceButton* button = Button(dlg, expected.szName);
            QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(button);
            QVERIFY(iface);
            QCOMPARE(iface->text(QAccessible::Name), QLatin1String(expected.szText));
            QCOMPARE(iface->role(), QAccessible::Button);
            QVERIFY(button->focusPolicy() & Qt::TabFocus);

            // The face fills the button from its top-left corner, cut to 49 x 33.
            QVERIFY(button->HasFace());
            const QImage imgFace = QImage(QLatin1String(expected.szFace))
                                       .convertToFormat(QImage::Format_RGB32)
                                       .copy(0, 0, 49, 33);
            const QImage imgButton = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(imgButton.size(), QSize(49, 33));
            QCOMPARE(imgButton, imgFace);
        }
    }

    void pictureButtonWithoutItsPicture() {
        // A missing picture leaves a plain button with its text that still works.
        FaceButton button(QStringLiteral(":/assets/missing.png"), QStringLiteral("OK"));
        button.resize(49, 33);
        QVERIFY(!button.HasFace());
        QCOMPARE(button.text(), QStringLiteral("OK"));
        QVERIFY(button.sizeHint().width() > button.fontMetrics().horizontalAdvance(button.text()));
        button.show();
        QVERIFY(QTest::qWaitForWindowExposed(&button));
        QVERIFY(!button.grab().isNull());
        QSignalSpy spyClicked(&button, &QAbstractButton::clicked);
        QTest::mouseClick(&button, Qt::LeftButton);
        QTest::keyClick(&button, Qt::Key_Space);
        QCOMPARE(spyClicked.count(), 2);
    }

    void addressRowOnlyInClientMode() {
        frmIP dlg(*state_);
        state_->nMode = 1;
        dlg.show();
        QVERIFY(Box(dlg, "txtIP")->isVisible());
        QVERIFY(Label(dlg, "Label1")->isVisible());
        dlg.hide();

        // The same dialog adapts on every showing.
        state_->nMode = 0;
        dlg.show();
        QVERIFY(!Box(dlg, "txtIP")->isVisible());
        QVERIFY(!Label(dlg, "Label1")->isVisible());
        for (const char* szAlways : {"txtNick", "txtPort"}) {
            QVERIFY(Box(dlg, szAlways)->isVisible());
        }
        QVERIFY(Label(dlg, "Label2")->isVisible());
        QVERIFY(Label(dlg, "Label3")->isVisible());
        QVERIFY(Button(dlg, "btnOK")->isVisible());
        QVERIFY(Button(dlg, "btnCancel")->isVisible());
        dlg.hide();

        state_->nMode = 1;
        dlg.show();
        QVERIFY(Box(dlg, "txtIP")->isVisible());
    }

    void focusOrderAndFirstFocus_data() {
        QTest::addColumn<int>("nMode");
        QTest::addColumn<QString>("szFirst");
        QTest::newRow("client") << 1 << QStringLiteral("txtIP");
        QTest::newRow("server") << 0 << QStringLiteral("txtPort");
    }
    void focusOrderAndFirstFocus() {
        QFETCH(int, nMode);
        QFETCH(QString, szFirst);
        state_->nMode = nMode;
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QTRY_VERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), szFirst);

        // Tab walks the visible controls in their order and wraps around.
        QStringList order = {QStringLiteral("txtIP"), QStringLiteral("txtPort"),
                             QStringLiteral("btnCancel"), QStringLiteral("btnOK"),
                             QStringLiteral("txtNick")};
        if (nMode == 0) {
            order.removeFirst();
        }
        const qsizetype iStart = order.indexOf(szFirst);
        for (qsizetype i = 1; i <= order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(),
                     order.at((iStart + i) % order.size()));
        }

        // Later showings keep the focus where the user left it.
        Box(dlg, "txtNick")->setFocus();
        dlg.hide();
        dlg.show();
        QCOMPARE(dlg.focusWidget(), static_cast<QWidget*>(Box(dlg, "txtNick")));
    }

    void okReadsThePort_data() {
        QTest::addColumn<QString>("szPort");
        QTest::addColumn<int>("nExpected");
        QTest::newRow("blank") << QString() << 201;
        QTest::newRow("zero") << QStringLiteral("0") << 201;
        QTest::newRow("leading blank") << QStringLiteral(" 12345") << 12345;
        QTest::newRow("trailing letters") << QStringLiteral("80abc") << 80;
        QTest::newRow("half to even down") << QStringLiteral("80.5") << 80;
        QTest::newRow("half to even up") << QStringLiteral("81.5") << 82;
        QTest::newRow("negative") << QStringLiteral("-1") << -1;
        QTest::newRow("exponent") << QStringLiteral("1e3") << 1000;
        QTest::newRow("letters only") << QStringLiteral("abc") << 201;
        QTest::newRow("top") << QStringLiteral("32767") << 32767;
        QTest::newRow("bottom") << QStringLiteral("-32768") << -32768;
        QTest::newRow("half up to even") << QStringLiteral("-2.5") << -2;
        QTest::newRow("rounds to zero") << QStringLiteral("0.4") << 201;
    }
    void okReadsThePort() {
        QFETCH(QString, szPort);
        QFETCH(int, nExpected);
        SetSentinels(*state_);
        frmIP dlg(*state_);
        dlg.show();
        Box(dlg, "txtPort")->setText(szPort);
        QTest::mouseClick(Button(dlg, "btnOK"), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.bCanceled);
        QCOMPARE(int{state_->nPort}, nExpected);
        QCOMPARE(state_->szServerIP, std::string("127.0.0.1"));
        QCOMPARE(state_->szNick, std::string());
    }

    void okRefusesAPortBeyondSixteenBits_data() {
        QTest::addColumn<QString>("szPort");
        QTest::newRow("40000") << QStringLiteral("40000");
        QTest::newRow("just above") << QStringLiteral("32768");
        QTest::newRow("below") << QStringLiteral("-32769");
        QTest::newRow("exponent") << QStringLiteral("9e9");
    }
    void okRefusesAPortBeyondSixteenBits() {
        QFETCH(QString, szPort);
        SetSentinels(*state_);
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QLineEdit* txtPort = Box(dlg, "txtPort");
        QLabel* lblHint = Label(dlg, "lblPortHint");
        QVERIFY(!lblHint->isVisible());
        QVERIFY(PixelAt(dlg, {40, 80}) != QColor(255, 0, 0));

        txtPort->setText(szPort);
        Box(dlg, "txtNick")->setText(QStringLiteral("bob"));
        QTest::mouseClick(Button(dlg, "btnOK"), Qt::LeftButton);

        QVERIFY2(dlg.isVisible(), "the dialog stays open");
        QVERIFY(dlg.PortRefused());
        QCOMPARE(state_->nPort, int16_t{4242});
        QCOMPARE(state_->szServerIP, std::string("sentinel.ip"));
        QCOMPARE(state_->szNick, std::string("sentinel"));
        QCOMPARE(txtPort->text(), szPort);

        // The hint is readable and fits beside the port box without covering a button.
        QVERIFY(lblHint->isVisible());
        QVERIFY(lblHint->text().contains(QStringLiteral("32767")));
        QVERIFY(QRect(0, 0, 218, 109).contains(lblHint->geometry()));
        QVERIFY(!lblHint->geometry().intersects(Button(dlg, "btnOK")->geometry()));
        QVERIFY(!lblHint->geometry().intersects(txtPort->geometry()));
        // The port box is framed in red while its entry is refused; its inside keeps its colour.
        QCOMPARE(PixelAt(dlg, {40, 80}), QColor(255, 0, 0));
        QCOMPARE(PixelAt(dlg, {98, 81}), QColor(0, 64, 64));

        // Any change of the port text takes the mark and the hint away.
        QTest::keyClick(txtPort, Qt::Key_Backspace);
        QVERIFY(!dlg.PortRefused());
        QVERIFY(!lblHint->isVisible());
        QVERIFY(PixelAt(dlg, {40, 80}) != QColor(255, 0, 0));
        QCOMPARE(PixelAt(dlg, {98, 81}), QColor(0, 64, 64));

        txtPort->setText(QStringLiteral("4000"));
        QTest::mouseClick(Button(dlg, "btnOK"), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(state_->nPort, int16_t{4000});
        QCOMPARE(state_->szNick, std::string("bob"));
    }

    void okStoresAddressAndNickname() {
        SetSentinels(*state_);
        state_->nMode = 1;
        frmIP dlg(*state_);
        dlg.show();
        Box(dlg, "txtIP")->clear();
        Box(dlg, "txtNick")->setText(QStringLiteral("  Zoë "));
        QTest::mouseClick(Button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(state_->szServerIP, std::string("127.0.0.1"));
        QCOMPARE(state_->szNick, std::string("  Zo\xc3\xab "));

        // An empty nickname is stored as it is.
        dlg.show();
        Box(dlg, "txtIP")->setText(QStringLiteral("10.0.0.5"));
        Box(dlg, "txtNick")->clear();
        QTest::mouseClick(Button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(state_->szServerIP, std::string("10.0.0.5"));
        QCOMPARE(state_->szNick, std::string());

        // In server mode the hidden address box is copied too, with what an earlier pass left.
        state_->szServerIP = "sentinel.ip";
        state_->nMode = 0;
        dlg.show();
        QVERIFY(!Box(dlg, "txtIP")->isVisible());
        QTest::mouseClick(Button(dlg, "btnOK"), Qt::LeftButton);
        QCOMPARE(state_->szServerIP, std::string("10.0.0.5"));
    }

    void cancelKeepsEntriesAndSettings() {
        SetSentinels(*state_);
        state_->nMode = 1;
        frmIP dlg(*state_);
        dlg.show();
        Box(dlg, "txtNick")->setText(QStringLiteral("alice"));
        Box(dlg, "txtIP")->setText(QStringLiteral("192.168.1.9"));
        Box(dlg, "txtPort")->setText(QStringLiteral("6000"));
        QTest::mouseClick(Button(dlg, "btnCancel"), Qt::LeftButton);
        QVERIFY(!dlg.isVisible());
        QVERIFY(dlg.bCanceled);
        QVERIFY(!dlg.Destroyed());
        QCOMPARE(state_->nPort, int16_t{4242});
        QCOMPARE(state_->szServerIP, std::string("sentinel.ip"));
        QCOMPARE(state_->szNick, std::string("sentinel"));

        dlg.show();
        QCOMPARE(Box(dlg, "txtNick")->text(), QStringLiteral("alice"));
        QCOMPARE(Box(dlg, "txtIP")->text(), QStringLiteral("192.168.1.9"));
        QCOMPARE(Box(dlg, "txtPort")->text(), QStringLiteral("6000"));
        // OK afterwards clears the cancel flag.
        QTest::mouseClick(Button(dlg, "btnOK"), Qt::LeftButton);
        QVERIFY(!dlg.bCanceled);
        QCOMPARE(state_->nPort, int16_t{6000});
    }

    void showModalReturnsOnEachWayOut_data() {
        QTest::addColumn<QString>("szWay");
        QTest::addColumn<bool>("bCanceled");
        QTest::addColumn<bool>("bDestroyed");
        QTest::newRow("OK") << QStringLiteral("btnOK") << false << false;
        QTest::newRow("Cancel") << QStringLiteral("btnCancel") << true << false;
        QTest::newRow("close box") << QStringLiteral("close") << true << true;
    }
    void showModalReturnsOnEachWayOut() {
        QFETCH(QString, szWay);
        QFETCH(bool, bCanceled);
        QFETCH(bool, bDestroyed);
        SetSentinels(*state_);
        frmIP dlg(*state_);
        bool bActed = false;
        QTimer::singleShot(0, &dlg, [&] {
            QVERIFY(dlg.isVisible());
            QVERIFY(dlg.isModal());
            Box(dlg, "txtNick")->setText(QStringLiteral("carol"));
            if (szWay == QLatin1String("close")) {
                dlg.close();
            } else {
                QTest::mouseClick(dlg.findChild<FaceButton*>(szWay), Qt::LeftButton);
            }
            bActed = true;
        });
        // A stuck dialog fails the test instead of hanging it.
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, &dlg, &QWidget::hide);
        guard.start(10000);
        dlg.ShowModal();
        QVERIFY(guard.isActive());
        QVERIFY(bActed);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.bCanceled, bCanceled);
        QCOMPARE(dlg.Destroyed(), bDestroyed);
        QCOMPARE(state_->szNick, bCanceled ? std::string("sentinel") : std::string("carol"));
    }

    void enterAndEscapeDoNothing() {
        SetSentinels(*state_);
        state_->nMode = 1;
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        for (const char* szFocus : {"txtIP", "txtPort", "txtNick", "btnOK", "btnCancel"}) {
            auto* target = dlg.findChild<QWidget*>(QLatin1String(szFocus));
            target->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), target);
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
                QTest::keyClick(target, key);
                QVERIFY2(dlg.isVisible(), szFocus);
                QVERIFY(!dlg.bCanceled);
            }
        }
        QCOMPARE(state_->nPort, int16_t{4242});
        QCOMPARE(state_->szNick, std::string("sentinel"));

        // The space bar still presses the focused button.
        Button(dlg, "btnCancel")->setFocus();
        QTest::keyClick(Button(dlg, "btnCancel"), Qt::Key_Space);
        QVERIFY(!dlg.isVisible());
        QVERIFY(dlg.bCanceled);
    }

private:
    std::unique_ptr<AppState> state_;
};

QTEST_MAIN(TestFrmIP)
#include "tst_frmIP.moc"
