// SPDX-License-Identifier: MIT
#include "base/AppState.h"
#include "ui/connect/frmIP.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <memory>

using zaplo::AppState;
using zaplo::frmIP;
using zaplo::Mode;

namespace {

QLineEdit* Box(frmIP& dlg, const char* szName) {
    return dlg.findChild<QLineEdit*>(QLatin1String(szName));
}

// False when the dialog has no such button.
bool Click(frmIP& dlg, const char* szButton) {
    auto* button = dlg.findChild<QAbstractButton*>(QLatin1String(szButton));
    if (button != nullptr) {
        QTest::mouseClick(button, Qt::LeftButton);
    }
    return button != nullptr;
}

// The refused mark is a red frame round the port box.
bool PortMarked(frmIP& dlg) {
    return dlg.grab().toImage().pixelColor(40, 80) == QColor(255, 0, 0);
}

} // namespace

class TestFrmIP : public QObject {
    Q_OBJECT

    std::unique_ptr<AppState> state_;

    // True while the settings still hold what init() put there.
    bool Untouched() const {
        return state_->nPort == 4242 && state_->szServerIP == "sentinel.ip" &&
               state_->szNick == "sentinel";
    }

private Q_SLOTS:
    void init() {
        state_ = std::make_unique<AppState>();
        state_->onEnd = nullptr;
        state_->nPort = 4242;
        state_->szServerIP = "sentinel.ip";
        state_->szNick = "sentinel";
    }

    void modeSetsAddressRowAndFirstFocus_data() {
        QTest::addColumn<int>("nMode");
        QTest::newRow("client") << 1;
        QTest::newRow("server") << 0;
    }
    void modeSetsAddressRowAndFirstFocus() {
        QFETCH(int, nMode);
        state_->nMode = static_cast<Mode>(nMode);
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QTRY_COMPARE(QApplication::focusWidget(), Box(dlg, nMode ? "txtIP" : "txtPort"));
        QCOMPARE(Box(dlg, "txtIP")->isVisible(), nMode == 1);
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("Label1"))->isVisible(), nMode == 1);
        // Each showing follows the mode anew but leaves the focus where the user left it.
        Box(dlg, "txtNick")->setFocus();
        dlg.hide();
        state_->nMode = static_cast<Mode>(1 - nMode);
        dlg.show();
        QCOMPARE(Box(dlg, "txtIP")->isVisible(), nMode == 0);
        QCOMPARE(dlg.focusWidget(), Box(dlg, "txtNick"));
    }

    void okReadsThePort_data() {
        QTest::addColumn<QString>("szPort");
        QTest::addColumn<int>("nExpected");
        const std::pair<const char*, int> rows[] = {
            {"", 201},        {"0", 201},        {" 12345", 12345}, {"80abc", 80},
            {"80.5", 80},     {"81.5", 82},      {"-1", -1},        {"1e3", 1000},
            {"32767", 32767}, {"-32768", -32768}}; // one past either end: okRefusesAPortOutside
        for (const auto& [szPort, nExpected] : rows) {
            QTest::addRow("\"%s\"", szPort) << QString::fromUtf8(szPort) << nExpected;
        }
    }
    void okReadsThePort() {
        QFETCH(QString, szPort);
        QFETCH(int, nExpected);
        frmIP dlg(*state_);
        dlg.show();
        Box(dlg, "txtPort")->setText(szPort);
        QVERIFY(Click(dlg, "btnOK"));
        QVERIFY(!dlg.isVisible());
        QCOMPARE(state_->nPort, nExpected);
    }

    void okRefusesAPortOutside() {
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* lblHint = dlg.findChild<QLabel*>(QStringLiteral("lblPortHint"));
        QVERIFY(!lblHint->isVisible() && !PortMarked(dlg));
        Box(dlg, "txtPort")->setText(QStringLiteral("32768"));
        Box(dlg, "txtNick")->setText(QStringLiteral("bob"));
        QVERIFY(Click(dlg, "btnOK"));
        QVERIFY2(dlg.isVisible() && dlg.PortRefused() && Untouched(),
                 "the dialog stays open, nothing stored");
        QCOMPARE(lblHint->text(), QStringLiteral("Port above 32767"));
        QVERIFY(lblHint->isVisible() && PortMarked(dlg));
        // The hint stays clear of the buttons and inside the dialog.
        const QRect rcHint = lblHint->geometry();
        QVERIFY(rcHint.right() < dlg.findChild<QWidget*>(QStringLiteral("btnOK"))->x());
        QVERIFY(rcHint.bottom() < dlg.height() && lblHint->width() >= lblHint->sizeHint().width());
        // Editing the port takes the mark and hint away; a fitting port then goes through.
        QTest::keyClick(Box(dlg, "txtPort"), Qt::Key_Backspace);
        QVERIFY(!lblHint->isVisible() && !PortMarked(dlg));
        Box(dlg, "txtPort")->setText(QStringLiteral("-32769"));
        QVERIFY(Click(dlg, "btnOK"));
        QVERIFY(dlg.isVisible() && dlg.PortRefused() && Untouched());
        QCOMPARE(lblHint->text(), QStringLiteral("Port below -32768"));
        Box(dlg, "txtPort")->setText(QStringLiteral("4000"));
        QVERIFY(Click(dlg, "btnOK"));
        QVERIFY(!dlg.isVisible() && state_->nPort == 4000 && state_->szNick == "bob");
    }

    // Every caption shows whole in the cell left of its box, whichever face stands in.
    void labelsFitTheirCells() {
        state_->nMode = Mode::Client;
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (const auto& [szLabel, szBox] :
             {std::pair{"Label3", "txtNick"}, {"Label1", "txtIP"}, {"Label2", "txtPort"}}) {
            const auto* label = dlg.findChild<QLabel*>(QLatin1String(szLabel));
            const int nText = label->fontMetrics().horizontalAdvance(label->text());
            QVERIFY2(label->width() >= nText, szLabel);
            QVERIFY2(label->x() + nText < Box(dlg, szBox)->x(), szLabel);
        }
    }

    void okStoresAddressAndNickname() {
        state_->nMode = Mode::Client;
        frmIP dlg(*state_);
        dlg.show();
        Box(dlg, "txtIP")->clear();
        Box(dlg, "txtNick")->setText(QStringLiteral("  Zoë "));
        QVERIFY(Click(dlg, "btnOK"));
        QCOMPARE(state_->szServerIP, std::string("127.0.0.1"));
        QCOMPARE(state_->szNick, std::string("  Zo\xc3\xab "));
    }

    void cancelKeepsEntries() {
        state_->nMode = Mode::Client;
        frmIP dlg(*state_);
        dlg.show();
        Box(dlg, "txtNick")->setText(QStringLiteral("alice"));
        Box(dlg, "txtIP")->setText(QStringLiteral("192.168.1.9"));
        Box(dlg, "txtPort")->setText(QStringLiteral("6000"));
        QVERIFY(Click(dlg, "btnCancel"));
        QVERIFY(!dlg.isVisible() && dlg.bCanceled && !dlg.Destroyed() && Untouched());
        // OK on the next showing stores the entries made before Cancel, and clears the flag.
        dlg.show();
        QVERIFY(Click(dlg, "btnOK"));
        QVERIFY(!dlg.bCanceled && state_->nPort == 6000);
        QVERIFY(state_->szServerIP == "192.168.1.9" && state_->szNick == "alice");
    }

    void closeBoxThenAFreshDialogWithDefaults() {
        frmIP dlg(*state_);
        QTimer::singleShot(0, &dlg, [&] {
            Box(dlg, "txtNick")->setText(QStringLiteral("carol"));
            Box(dlg, "txtPort")->setText(QStringLiteral("7000"));
            dlg.close();
        });
        QTimer::singleShot(10000, &dlg, &QWidget::hide); // fails rather than hangs
        dlg.ShowModal();
        QVERIFY(dlg.Destroyed() && dlg.bCanceled && Untouched());
        // The owner's next dialog starts from the defaults, not from the settings.
        frmIP fresh(*state_);
        QCOMPARE(Box(fresh, "txtNick")->text(), QString());
        QCOMPARE(Box(fresh, "txtIP")->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(Box(fresh, "txtPort")->text(), QStringLiteral("201"));
    }

    void enterAndEscapeDoNothing_data() {
        QTest::addColumn<QString>("szFocus");
        for (const char* szFocus : {"txtIP", "txtPort", "txtNick", "btnOK", "btnCancel"}) {
            QTest::newRow(szFocus) << QString::fromLatin1(szFocus);
        }
    }
    void enterAndEscapeDoNothing() {
        QFETCH(QString, szFocus);
        state_->nMode = Mode::Client;
        frmIP dlg(*state_);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        auto* target = dlg.findChild<QWidget*>(szFocus);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(target, key);
            QVERIFY(dlg.isVisible() && !dlg.bCanceled);
        }
        QVERIFY(Untouched());
        // The space bar still presses a focused button.
        if (szFocus.startsWith(QStringLiteral("btn"))) {
            QTest::keyClick(target, Qt::Key_Space);
            QVERIFY(!dlg.isVisible());
            QCOMPARE(dlg.bCanceled, szFocus == QStringLiteral("btnCancel"));
        }
    }
};

QTEST_MAIN(TestFrmIP)
#include "tst_frmIP.moc"
