// SPDX-License-Identifier: MIT
// Keeping the picture (save, copy), the host removing a client, and a newcomer getting the
// picture: through the real windows, a server window and client windows in one process.
#include "base/AppState.h"
#include "gfx/QtColour.h"
#include "net/NetSession.h"
#include "net/core/PictureRuns.h"
#include "tests/main/WindowTestBase.h"
#include "tests/support/RawPeer.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/frmMain.h"

#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>
#include <random>

using namespace zaplo;

class PictureWindowTest : public WindowTestBase {
    Q_OBJECT

    // A client window, once the server's answer to its join has arrived.
    frmMain& Join(const std::string& szNick) {
        frmMain& w = *Open(Mode::Client, szNick).w;
        const bool bListed = QTest::qWaitFor([&] { return Listed(w, szNick); });
        if (!bListed) {
            qWarning("%s was not answered", szNick.c_str());
        }
        return w;
    }
    static CanvasWidget& Canvas(frmMain& w) { return *w.findChild<CanvasWidget*>(S("picCanvas")); }

    // A drawing with every kind of run: noise in a band of rows, strokes, and the last column.
    static void Sketch(frmMain& w, int nNoiseRows) {
        std::mt19937 random(11);
        for (int y = 0; y < nNoiseRows; ++y) {
            for (int x = 0; x < CanvasWidget::kInnerWidth; ++x) {
                const auto clr = static_cast<int32_t>(random() & 0xFFFFFFU);
                w.DrawSegment({static_cast<int16_t>(x), static_cast<int16_t>(y),
                               static_cast<int16_t>(x + 1), static_cast<int16_t>(y), clr});
            }
        }
        w.DrawSegment({-20, 300, 300, 120, 255});
        w.DrawSegment({247, 0, 247, 353, 65280});
        w.DrawSegment({10, 352, 200, 352, 0});
    }

private Q_SLOTS:
    void initTestCase() { StartModalWatch(); }
    void cleanup() { CloseParties(); }

    void saveAndCopyKeepThePicturePixelForPixel() {
        frmMain& w = Host();
        Sketch(w, 3);
        const QImage picture = Canvas(w).Image();
        QTemporaryDir dir;
        const QString path = dir.filePath(S("ours.png"));
        QString szFolderShown;
        onModal_ = [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog != nullptr);
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();
        };
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_S, Qt::ControlModifier);
        QTRY_VERIFY(QFileInfo::exists(path));
        QImage saved(path);
        QCOMPARE(saved.size(), QSize(CanvasWidget::kInnerWidth, CanvasWidget::kInnerHeight));
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), picture);

        // The next dialog opens in that folder (kept in the run's state only); a path it cannot
        // write to is told in a box, and the picture stays as it was.
        const QString badPath = dir.filePath(S("missing/ours.png"));
        QString szBox;
        onModal_ = [&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            QVERIFY(dialog != nullptr);
            szFolderShown = dialog->directory().absolutePath();
            dialog->selectFile(badPath);
            onModal_ = [&](QWidget* box) {
                szBox = qobject_cast<QMessageBox*>(box)->text();
                qobject_cast<QMessageBox*>(box)->accept();
            };
            static_cast<QDialog*>(dialog)->accept();
        };
        Action(w, "mnuSavePicture")->trigger();
        QCOMPARE(szFolderShown, QFileInfo(path).absolutePath());
        QVERIFY2(szBox.startsWith(S("The picture could not be saved to ")), qPrintable(szBox));
        QVERIFY(szBox.contains(S("ours.png: ")));
        QVERIFY(!QFileInfo::exists(badPath));
        QCOMPARE(Canvas(w).Image(), picture);

        // Copy: the same picture on the clipboard.
        QGuiApplication::clipboard()->clear();
        w.activateWindow(); // back from the dialogs
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QTRY_COMPARE(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
                     picture);
        // The menu: Reset first, Exit last; no picture option in a client window.
        const QList<QAction*> items = w.findChild<QMenu*>(S("mnuFile"))->actions();
        QCOMPARE(items.first()->objectName(), S("mnuFile_Restart"));
        QCOMPARE(items.at(1)->objectName(), S("mnuTick"));
        QCOMPARE(items.last()->objectName(), S("mnuFile_Exit"));
        QVERIFY(!Action(w, "mnuSendPicture")->isChecked());
        frmMain& client = Join("ann");
        QVERIFY(Action(client, "mnuSendPicture") == nullptr);
        QVERIFY(Action(client, "mnuSavePicture") != nullptr);
    }

    void hostDisconnectsAClientWhoIsAnnouncedAsGone() {
        frmMain& host = Host();
        frmMain& ann = Join("ann");
        frmMain& bob = Join("bob");
        QTRY_COMPARE(ann.UserRows(), (Lines{"host", "ann", "bob"}));
        // The host's own row offers nothing.
        QVERIFY(ContextMenuAt(host, 0) == nullptr);
        QMenu* menu = ContextMenuAt(host, 1);
        QVERIFY(menu != nullptr);
        QCOMPARE(menu->actions().size(), 2); // Disconnect, Ban
        QCOMPARE(menu->actions().first()->text(), S("Disconnect"));
        menu->hide(); // left without a choice: nothing happens
        QCOMPARE(host.UserRows(), (Lines{"host", "ann", "bob"}));

        // Delete on the selected row offers the same; choosing it removes bob.
        QListWidget& list = List(host);
        list.setFocus();
        list.setCurrentRow(2);
        QTest::keyClick(&list, Qt::Key_Delete);
        menu = list.findChild<QMenu*>(S("mnuUserList"));
        QTRY_VERIFY(menu->isVisible());
        menu->actions().first()->trigger();
        QTRY_VERIFY(host.StatusText().startsWith(S("bob has been disconnected!\r\n")));
        QCOMPARE(host.UserRows(), (Lines{"host", "ann"}));
        QTRY_COMPARE(ann.UserRows(), (Lines{"host", "ann"}));
        QVERIFY(ann.StatusText().startsWith(S("bob has been disconnected!\r\n")));
        QTRY_VERIFY(bob.StatusText().startsWith(S("Lost connection to server!\r\n")));
        // A client window offers no menu at all.
        QVERIFY(ContextMenuAt(ann, 0) == nullptr);
        QVERIFY(ContextMenuAt(ann, 1) == nullptr);
    }

    void aFeedStopsWhenItsNewcomerLeaves() {
        frmMain& host = Host();
        Sketch(host, 20);
        std::size_t nRecords = 0;
        const QImage& image = Canvas(host).Image();
        std::vector<int32_t> row;
        std::string szLines;
        for (int y = 0; y < image.height(); ++y) {
            row.clear();
            for (int x = 0; x < image.width(); ++x) {
                row.push_back(QColorToColour(image.pixelColor(x, y)));
            }
            nRecords += PictureRuns::AppendRow(szLines, row, static_cast<int16_t>(y),
                                               QColorToColour(Canvas(host).Background()));
        }
        Action(host, "mnuSendPicture")->trigger();
        // Two newcomers answered; the first leaves before its feed has begun.
        host.Host()->JoinAnswered(5);
        host.Host()->JoinAnswered(6);
        host.Host()->CloseSlot(5);
        QTRY_COMPARE(host.PictureRecordsSent(), nRecords);
        QCOMPARE(host.PictureBytesSent(), szLines.size());
        // Unticked, a join is answered with nothing more: the host's next chat line comes right
        // behind the answer.
        Action(host, "mnuSendPicture")->trigger();
        host.Host()->JoinAnswered(7);
        RawPeer raw(static_cast<uint16_t>(nPort_));
        QVERIFY(raw.WaitState(QAbstractSocket::ConnectedState));
        raw.Send("{2}raw\r\n");
        QCOMPARE(raw.TakeThrough("{8}"), QByteArray("{9}raw has joined!\r\n{8}host;raw;\r\n"));
        host.Host()->ClientServerSendMessage(MessageCode::Chat, "{host}hi");
        QCOMPARE(raw.TakeThrough("{1}"), QByteArray("{1}{host}hi\r\n"));
        QCOMPARE(host.PictureRecordsSent(), nRecords);
    }

    void newcomersCanvasEqualsTheHostsWhileOthersDrawAndClear() {
        frmMain& host = Host();
        frmMain& ann = Join("ann");
        Sketch(host, 40);
        Action(host, "mnuSendPicture")->trigger();
        QVERIFY(Action(host, "mnuSendPicture")->isChecked());
        frmMain& bob = Join("bob");
        QTRY_COMPARE_WITH_TIMEOUT(Canvas(bob).Image(), Canvas(host).Image(), 15000);
        const std::size_t nFirst = host.PictureRecordsSent();
        QVERIFY(nFirst > 40U * 200U);
        // ann is not sent the picture: her canvas stays blank.
        QImage blank(Canvas(ann).Image().size(), QImage::Format_RGB32);
        blank.fill(Canvas(ann).Background());
        QCOMPARE(Canvas(ann).Image(), blank);

        // While carl is fed, ann's live strokes and a clear reach him the ordinary way, and his
        // canvas still ends equal to the host's.
        frmMain& carl = *Open(Mode::Client, "carl").w;
        QTRY_VERIFY(host.PictureRecordsSent() > nFirst);
        ann.Host()->ClientServerSendMessage(MessageCode::Draw, "0;5;247;5;255;");
        ann.Host()->ClientServerSendMessage(MessageCode::Clear, "");
        ann.Host()->ClientServerSendMessage(MessageCode::Draw, "3;0;3;300;16711680;");
        QTRY_COMPARE(Canvas(host).Image().pixelColor(3, 299), QColor(0, 0, 255));
        QTRY_COMPARE_WITH_TIMEOUT(Canvas(carl).Image(), Canvas(host).Image(), 15000);
        QVERIFY(Canvas(carl).Image() != blank);
    }
};

QTEST_MAIN(PictureWindowTest)
#include "PictureWindowTest.moc"
