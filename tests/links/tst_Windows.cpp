// Whole sessions with real main windows in one process: a server window and client windows
// joining, chatting, drawing, clearing, leaving and losing the server, and a client window whose
// connection fails.
#include "app/AppState.h"
#include "net/NetSession.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/ChatInput.h"
#include "ui/main/frmMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <memory>

using zaplo::AppState;
using zaplo::frmMain;

namespace {

// One participant: the program-wide state of its own run and its main window.
struct Participant {
    AppState state;
    std::unique_ptr<frmMain> window;

    Participant(int32_t nMode, const std::string& szNick, int16_t nPort) {
        state.onEnd = nullptr;
        state.nMode = nMode;
        state.szNick = szNick;
        state.nPort = nPort;
        state.szServerIP = "127.0.0.1";
        state.szListenHost = "127.0.0.1";
    }
    void Open() { window = std::make_unique<frmMain>(state, nullptr); }

    QString Status() const { return window->StatusText(); }
    QString Chat() const { return window->ChatText(); }
    QStringList Users() const {
        QStringList rows;
        auto* list = window->findChild<QListWidget*>(QStringLiteral("listUsers"));
        for (int i = 0; i < list->count(); ++i) {
            rows << list->item(i)->text();
        }
        return rows;
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
    void Stroke(const std::vector<QPoint>& points) const {
        zaplo::CanvasWidget* canvas = Canvas();
        for (std::size_t i = 0; i < points.size(); ++i) {
            const QPointF at = points[i] + QPointF(1, 1);
            const QEvent::Type type = i == 0 ? QEvent::MouseButtonPress : QEvent::MouseMove;
            QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                              Qt::NoModifier);
            QCoreApplication::sendEvent(canvas, &event);
        }
    }
    void Trigger(const char* action) const {
        window->findChild<QAction*>(QString::fromLatin1(action))->trigger();
    }
};

QStringList Names(std::initializer_list<const char*> names) {
    QStringList list;
    for (const char* name : names) {
        list << QString::fromLatin1(name);
    }
    return list;
}

int16_t LowPort() {
    return static_cast<int16_t>(20000 + QRandomGenerator::global()->bounded(12000));
}

std::unique_ptr<Participant> OpenServer() {
    for (int nTry = 0; nTry < 50; ++nTry) {
        auto server = std::make_unique<Participant>(0, "host", LowPort());
        server->Open();
        if (server->window->Session()->ListeningPort() != 0) {
            return server;
        }
    }
    return nullptr;
}

std::unique_ptr<Participant> OpenClient(const std::string& szNick, int16_t nPort) {
    auto client = std::make_unique<Participant>(1, szNick, nPort);
    client->Open();
    return client;
}

// Answers every "Connection failed!" box that shows up while it lives.
class FailureBoxWatcher {
public:
    FailureBoxWatcher() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                texts_ << box->windowTitle() + QStringLiteral(": ") + box->text();
                box->button(QMessageBox::Ok)->click();
            }
        });
        timer_.start(5);
    }
    QStringList Texts() const { return texts_; }

private:
    QTimer timer_;
    QStringList texts_;
};

} // namespace

class WindowsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sessionOfThreeWindows();
    void exitOfTheServerWindowIsSeenByItsClients();
    void failedConnectionShowsTheBoxAndReportsNoServer();
};

void WindowsTest::sessionOfThreeWindows() {
    auto server = OpenServer();
    QVERIFY(server);
    QVERIFY(server->Status().startsWith(QStringLiteral("Waiting for a client to join...")));

    auto ann = OpenClient("ann", server->state.nPort);
    QVERIFY(ann->window->windowTitle().endsWith(QStringLiteral(" - ann (Client)")));
    QTRY_VERIFY(ann->Status().startsWith(QStringLiteral("ann has joined!\r\nConnecting...")));
    QTRY_COMPARE(ann->Users(), Names({"host", "ann"}));
    auto bob = OpenClient("bob", server->state.nPort);
    QTRY_COMPARE(bob->Users(), Names({"host", "ann", "bob"}));
    QTRY_COMPARE(ann->Users(), Names({"host", "ann", "bob"}));
    QCOMPARE(server->Users(), Names({"host", "ann", "bob"}));
    QVERIFY(server->Status().startsWith(QStringLiteral("bob has joined!\r\nann has joined!")));

    // Chat: the client's line comes back through the server to everyone.
    ann->Say(QStringLiteral("hello all"));
    QTRY_VERIFY(bob->Chat().contains(QStringLiteral("{ann}hello all")));
    QTRY_VERIFY(ann->Chat().contains(QStringLiteral("{ann}hello all")));
    QVERIFY(server->Chat().contains(QStringLiteral("{ann}hello all")));
    server->Say(QStringLiteral("welcome"));
    QTRY_VERIFY(ann->Chat().startsWith(QStringLiteral("{host}welcome\r\n")));
    QTRY_VERIFY(bob->Chat().startsWith(QStringLiteral("{host}welcome\r\n")));

    // A stroke on bob's canvas shows the same on every canvas.
    bob->Stroke({{10, 10}, {60, 10}, {60, 80}, {20, 120}});
    QVERIFY(bob->Canvas()->Image() != server->Canvas()->Image());
    QTRY_VERIFY(server->Canvas()->Image() == bob->Canvas()->Image());
    QTRY_VERIFY(ann->Canvas()->Image() == bob->Canvas()->Image());

    // The server's Clear empties every canvas.
    QTest::mouseClick(server->window->findChild<QPushButton*>(QStringLiteral("btnClear")),
                      Qt::LeftButton);
    QImage blank = bob->Canvas()->Image();
    blank.fill(bob->Canvas()->Background());
    QTRY_VERIFY(bob->Canvas()->Image() == blank);
    QTRY_VERIFY(ann->Canvas()->Image() == blank);

    // bob resets: his window and connection go; the others hear of it.
    bob->Trigger("mnuFile_Restart");
    QVERIFY(bob->window->bReset);
    bob->window.reset();
    QTRY_VERIFY(ann->Status().startsWith(QStringLiteral("bob has been disconnected!")));
    QTRY_COMPARE(ann->Users(), Names({"host", "ann"}));
    QCOMPARE(server->Users(), Names({"host", "ann"}));

    // carl takes bob's slot.
    auto carl = OpenClient("carl", server->state.nPort);
    QTRY_COMPARE(ann->Users(), Names({"host", "ann", "carl"}));
    QCOMPARE(server->state.nUsers, int16_t{2});
}

void WindowsTest::exitOfTheServerWindowIsSeenByItsClients() {
    auto server = OpenServer();
    QVERIFY(server);
    auto ann = OpenClient("ann", server->state.nPort);
    auto bob = OpenClient("bob", server->state.nPort);
    QTRY_COMPARE(bob->Users(), Names({"host", "ann", "bob"}));

    server->Trigger("mnuFile_Exit");
    QVERIFY(server->state.Ended());
    QTRY_VERIFY(ann->Status().startsWith(QStringLiteral("Lost connection to server!")));
    QTRY_VERIFY(bob->Status().startsWith(QStringLiteral("Lost connection to server!")));
    QVERIFY(!ann->state.bConnected);

    // A chat line typed now goes nowhere and shows nowhere.
    ann->Say(QStringLiteral("anyone?"));
    QCOMPARE(ann->state.colSendQueue.size(), std::size_t{1});
    QVERIFY(!ann->Chat().contains(QStringLiteral("anyone?")));
}

void WindowsTest::failedConnectionShowsTheBoxAndReportsNoServer() {
    int16_t nPort = 0;
    for (QTcpServer probe; nPort == 0;) {
        const int16_t nTry = LowPort();
        if (probe.listen(QHostAddress::LocalHost, static_cast<quint16>(nTry))) {
            nPort = nTry;
            probe.close();
        }
    }
    FailureBoxWatcher watcher;
    auto ann = OpenClient("ann", nPort);
    QCOMPARE(watcher.Texts(), QStringList{QStringLiteral("Zaplo: Connection failed!")});
    QVERIFY(ann->window->bReset);
    QVERIFY(ann->state.bConnected);
    QTRY_VERIFY(ann->Status().startsWith(QStringLiteral("No Server!\r\nConnecting...")));
}

QTEST_MAIN(WindowsTest)
#include "tst_Windows.moc"
