// Layout, look and lifecycle of the main window.
#include "MainTestSupport.h"

#include "app/AppState.h"
#include "net/NetSession.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include <memory>

using zaplo::AppState;
using zaplo::frmMain;

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    template <typename T = QWidget> T* Find(frmMain& w, const QString& name) {
        T* child = w.findChild<T*>(name);
        if (child == nullptr) {
            qFatal("control %s missing", qPrintable(name));
        }
        return child;
    }

    static QRect Rect(int x, int y, int w, int h) { return QRect(x, y, w, h); }

private Q_SLOTS:
    void controlsSitWhereTheLayoutPutsThem() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "host");
        frmMain w(state);

        const std::vector<std::pair<QString, QRect>> expected{
            {QStringLiteral("txtChatBox"), Rect(5, 5, 200, 395)},
            {QStringLiteral("txtChatSend"), Rect(5, 405, 360, 19)},
            {QStringLiteral("listUsers"), Rect(215, 20, 150, 290)},
            {QStringLiteral("txtStatus"), Rect(215, 330, 150, 70)},
            {QStringLiteral("Line1_0"), Rect(212, 5, 1, 480)},
            {QStringLiteral("Line1_1"), Rect(372, 5, 1, 480)},
            {QStringLiteral("picCanvas"), Rect(377, 20, 250, 355)},
            {QStringLiteral("btnClear"), Rect(377, 378, 73, 25)},
            {QStringLiteral("txtclrCustom_0"), Rect(377, 408, 25, 19)},
            {QStringLiteral("txtclrCustom_1"), Rect(402, 408, 25, 19)},
            {QStringLiteral("txtclrCustom_2"), Rect(427, 408, 25, 19)},
        };
        for (const auto& [name, rect] : expected) {
            QWidget* control = Find(w, name);
            QCOMPARE(control->parentWidget(), w.centralWidget());
            QVERIFY2(control->geometry() == rect, qPrintable(name));
        }
        for (int i = 0; i < 16; ++i) {
            const QString name = QStringLiteral("picCol_%1").arg(i);
            const QRect rect =
                i < 8 ? Rect(452 + 22 * i, 378, 20, 20) : Rect(452 + 22 * (i - 8), 399, 20, 20);
            QVERIFY2(Find(w, name)->geometry() == rect, qPrintable(name));
        }
        // Labels: fixed corner, sized to their text.
        const std::vector<std::pair<QString, QPoint>> labels{
            {QStringLiteral("lblUserList"), QPoint(215, 5)},
            {QStringLiteral("lblStatus"), QPoint(215, 315)},
            {QStringLiteral("lblDraw"), QPoint(377, 5)},
        };
        for (const auto& [name, corner] : labels) {
            auto* label = Find<QLabel>(w, name);
            QCOMPARE(label->pos(), corner);
            QCOMPARE(label->size(), label->sizeHint());
        }
        // The canvas's inner area.
        auto* canvas = Find<zaplo::CanvasWidget>(w, QStringLiteral("picCanvas"));
        QCOMPARE(canvas->Image().size(), QSize(248, 353));
    }

    void windowIsFixedAt640By480WithRoomForTheControls() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "host");
        frmMain w(state);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.frameGeometry().size(), QSize(640, 480));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QVERIFY(w.centralWidget()->width() >= 627);
        QVERIFY(w.centralWidget()->height() >= 427);
        QCOMPARE(w.centralWidget()->y(), w.menuBar()->height());
        QVERIFY(!(w.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(w.windowFlags() & Qt::WindowCloseButtonHint);
    }

    void captionMenuTextsAndColours() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "pen42");
        frmMain w(state);
        QVERIFY(w.windowTitle().startsWith(QStringLiteral("Zaplo\u00AE BETA - ")));
        QVERIFY(w.windowTitle().endsWith(QStringLiteral(" - pen42 (Server)")));
        // Title, notice, nickname: the notice is not empty.
        QVERIFY(w.windowTitle().size() >
                QStringLiteral("Zaplo\u00AE BETA -  - pen42 (Server)").size());

        auto* file = Find<QMenu>(w, QStringLiteral("mnuFile"));
        QCOMPARE(file->title(), QStringLiteral("&File"));
        const QList<QAction*> items = file->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0], Find<QAction>(w, QStringLiteral("mnuFile_Restart")));
        QCOMPARE(items[0]->text(), QStringLiteral("&Reset"));
        QVERIFY(items[1]->isSeparator());
        QCOMPARE(items[2], Find<QAction>(w, QStringLiteral("mnuFile_Exit")));
        QCOMPARE(items[2]->text(), QStringLiteral("E&xit"));

        const std::vector<std::tuple<QString, QString, QColor>> labels{
            {QStringLiteral("lblUserList"), QStringLiteral("Session Users:"), QColor(125, 25, 250)},
            {QStringLiteral("lblStatus"), QStringLiteral("Status:"), QColor(125, 80, 250)},
            {QStringLiteral("lblDraw"), QStringLiteral("Do your drawings down here."),
             QColor(125, 80, 250)},
        };
        for (const auto& [name, text, colour] : labels) {
            auto* label = Find<QLabel>(w, name);
            QCOMPARE(label->text(), text);
            QCOMPARE(label->palette().color(QPalette::WindowText), colour);
        }
        auto* list = Find<QListWidget>(w, QStringLiteral("listUsers"));
        QCOMPARE(list->palette().color(QPalette::Text), QColor(25, 25, 210));
        for (QWidget* bold :
             {static_cast<QWidget*>(list), Find(w, QStringLiteral("txtChatSend"))}) {
            QVERIFY(bold->font().bold());
            QCOMPARE(bold->font().pointSizeF(), 8.25);
        }
        QCOMPARE(Find<QPushButton>(w, QStringLiteral("btnClear"))->text(), QStringLiteral("Clear"));
        QVERIFY(!w.windowIcon().isNull());

        // What the user sees: a black window, blue separators, the swatches' colours.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QImage shot = w.centralWidget()->grab().toImage();
        QCOMPARE(shot.pixelColor(2, 2), QColor(Qt::black));
        QCOMPARE(shot.pixelColor(212, 200), QColor(0, 0, 255));
        QCOMPARE(shot.pixelColor(372, shot.height() - 1), QColor(0, 0, 255));
        QVERIFY(shot.pixelColor(212, 414) != QColor(0, 0, 255)); // under the chat input
        QCOMPARE(shot.pixelColor(452 + 22 * 2 + 10, 388), QColor(215, 70, 1));
        QCOMPARE(shot.pixelColor(452 + 22 * 7 + 10, 409), QColor(233, 115, 247));
        QCOMPARE(shot.pixelColor(500, 200), w.palette().color(QPalette::Base));
    }

    void focusStartsOnChatBoxAndTabsInOrder() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "host");
        frmMain w(state);
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QStringList order{QStringLiteral("txtChatBox"), QStringLiteral("txtChatSend"),
                          QStringLiteral("listUsers"), QStringLiteral("txtStatus"),
                          QStringLiteral("picCanvas")};
        for (int i = 0; i < 16; ++i) {
            order << QStringLiteral("picCol_%1").arg(i);
        }
        order << QStringLiteral("btnClear") << QStringLiteral("txtclrCustom_0")
              << QStringLiteral("txtclrCustom_1") << QStringLiteral("txtclrCustom_2");
        for (const QString& name : order) {
            QWidget* focus = QApplication::focusWidget();
            QVERIFY(focus != nullptr);
            QCOMPARE(focus->objectName(), name);
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        // Round again to the first.
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("txtChatBox"));
    }

    void resetExitAndCloseEndTheShowing() {
        enum class Way { Reset, Exit, Close, EndElsewhere };
        struct Case {
            Way way;
            bool bResetBefore; // true as after a failed connection attempt
            bool bEnded;
            bool bResetAfter;
        };
        const std::vector<Case> cases{
            {Way::Reset, false, false, true}, {Way::Exit, false, true, false},
            {Way::Exit, true, true, true},    {Way::Close, false, true, false},
            {Way::Close, true, false, true},  {Way::EndElsewhere, false, true, false},
        };
        for (const Case& c : cases) {
            AppState state;
            zaplo::test::PrepareState(state, 0, "host");
            frmMain w(state);
            QVERIFY(!w.bReset);
            w.bReset = c.bResetBefore;
            QTimer::singleShot(0, &w, [&w, &state, way = c.way] {
                QVERIFY(w.isVisible());
                switch (way) {
                case Way::Reset:
                    w.findChild<QAction*>(QStringLiteral("mnuFile_Restart"))->trigger();
                    break;
                case Way::Exit:
                    w.findChild<QAction*>(QStringLiteral("mnuFile_Exit"))->trigger();
                    break;
                case Way::Close:
                    QVERIFY(w.close()); // never refused
                    break;
                case Way::EndElsewhere:
                    state.EndProgram();
                    break;
                }
            });
            w.ShowModal();
            QCOMPARE(state.Ended(), c.bEnded);
            QCOMPARE(w.bReset, c.bResetAfter);
            QCOMPARE(w.isVisible(), c.way == Way::EndElsewhere);
            QVERIFY(w.Session() == nullptr); // the session's connections ended with the showing
        }
    }

    void failedConnectionShowsBoxAndSetsReset() {
        AppState state;
        zaplo::test::PrepareState(state, 1, "ann");
        std::unique_ptr<frmMain> w;
        {
            zaplo::test::MessageBoxCloser closer;
            w = std::make_unique<frmMain>(state);
            QVERIFY(w->windowTitle().endsWith(QStringLiteral(" - ann (Client)")));
            QVERIFY(w->StatusText().contains(QStringLiteral("Connecting...\r\n")));
            // The join message is queued after the wait, whatever its outcome.
            QCOMPARE(state.colSendQueue.back(), std::string("{2}ann"));
            if (!w->bReset) {
                // The connection came up or the link does not wait: report the failure the
                // way the session would.
                w->Session()->onConnectFailed();
            }
            QVERIFY(closer.Count() >= 1);
            QCOMPARE(closer.Text(), QStringLiteral("Connection failed!"));
            QCOMPARE(closer.Caption(), QStringLiteral("Zaplo"));
        }
        QVERIFY(w->bReset);
        // The window still opens; its close box then returns to the start screen.
        QTimer::singleShot(0, w.get(), [&w] { w->close(); });
        w->ShowModal();
        QVERIFY(!state.Ended());
        QVERIFY(w->bReset);
    }

    void everyWindowStartsAfresh() {
        AppState state;
        zaplo::test::PrepareState(state, 0, "host");
        {
            frmMain first(state);
            first.SendToChatBox("{x}old");
            first.AddUsername("guest", 1);
            first.findChild<QAction*>(QStringLiteral("mnuFile_Restart"))->trigger();
            QVERIFY(first.bReset);
        }
        frmMain second(state);
        QVERIFY(!second.bReset);
        QCOMPARE(second.ChatText(), QString());
        QCOMPARE(second.StatusText(), QStringLiteral("Waiting for a client to join...\r\n"));
        QCOMPARE(second.UserRows(), std::vector<std::string>{"host"});
        QCOMPARE(second.SlotNickname(0), std::optional<std::string>("host"));
        QCOMPARE(second.HighestSlot(), int16_t{0});
        const QImage image = second.findChild<zaplo::CanvasWidget*>()->Image();
        QCOMPARE(image.pixelColor(0, 0), second.palette().color(QPalette::Base));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
