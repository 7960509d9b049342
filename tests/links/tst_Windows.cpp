// A whole session with real main windows in one process: a server window and a client window
// joining, chatting and drawing.
#include "HeadlessHost.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/ChatInput.h"
#include "ui/main/frmMain.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QTest>

namespace {

// One participant: the program-wide state of its own run and its main window.
struct Participant {
    Participant(int32_t nMode, const std::string& szNick, int16_t nPort) {
        SetUp(state, nMode, szNick, nPort);
        window = std::make_unique<zaplo::frmMain>(state, nullptr);
    }
    zaplo::CanvasWidget* Canvas() const {
        return window->findChild<zaplo::CanvasWidget*>(QStringLiteral("picCanvas"));
    }
    void Say(const QString& text) const {
        auto* input = window->findChild<zaplo::ChatInput*>(QStringLiteral("txtChatSend"));
        QTest::keyClicks(input, text);
        QTest::keyClick(input, Qt::Key_Return);
    }
    // A stroke with the left button through the given canvas points.
    void Stroke(const std::vector<QPointF>& points) const {
        for (const QPointF& at : points) {
            QMouseEvent event(at == points.front() ? QEvent::MouseButtonPress : QEvent::MouseMove,
                              at, Canvas()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(Canvas(), &event);
        }
    }

    zaplo::AppState state;
    std::unique_ptr<zaplo::frmMain> window;
};

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void serverAndClientWindowsChatAndDraw() {
        Participant server(0, "host", FreeLowPort());
        Participant ann(1, "ann", server.state.nPort);
        QTRY_VERIFY(ann.window->StatusText().startsWith(QStringLiteral("ann has joined!")));
        const auto* users = server.window->findChild<QListWidget*>(QStringLiteral("listUsers"));
        QCOMPARE(users->count(), 2);
        QCOMPARE(users->item(1)->text(), QStringLiteral("ann"));

        // The client's line comes back through the server; the server's line reaches the client.
        ann.Say(QStringLiteral("hello all"));
        server.Say(QStringLiteral("welcome"));
        QTRY_VERIFY(ann.window->ChatText().contains(QStringLiteral("{ann}hello all")));
        QTRY_VERIFY(ann.window->ChatText().contains(QStringLiteral("{host}welcome")));
        QVERIFY(server.window->ChatText().contains(QStringLiteral("{ann}hello all")));

        // Strokes on either canvas show the same on both.
        ann.Stroke({{10, 10}, {60, 10}, {60, 80}});
        QVERIFY(ann.Canvas()->Image() != server.Canvas()->Image());
        QTRY_VERIFY(server.Canvas()->Image() == ann.Canvas()->Image());
        server.Stroke({{100, 30}, {20, 120}});
        QVERIFY(ann.Canvas()->Image() != server.Canvas()->Image());
        QTRY_VERIFY(server.Canvas()->Image() == ann.Canvas()->Image());
    }
};

QTEST_MAIN(WindowsTest)
#include "tst_Windows.moc"
