// The main window driven through the dispatcher, the way received blocks reach it.
#include "MainTestSupport.h"

#include "app/AppState.h"
#include "net/PacketProc.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/frmMain.h"

#include <QListWidget>
#include <QTest>

#include <deque>
#include <memory>

using zaplo::AppState;
using zaplo::CanvasWidget;
using zaplo::frmMain;

namespace {

using Queue = std::deque<std::string>;
using Rows = std::vector<std::string>;

void Feed(frmMain& w, std::string block, int16_t nOrigin) {
    zaplo::PacketProc(block, nOrigin, w);
}

int MarkedCount(const CanvasWidget& canvas) {
    int count = 0;
    const QImage& image = canvas.Image();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) != canvas.Background().rgb() ? 1 : 0;
        }
    }
    return count;
}

} // namespace

class DispatchTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppState> state_;
    std::unique_ptr<frmMain> window_;
    std::unique_ptr<zaplo::test::MessageBoxCloser> closer_;

    void Open(int32_t nMode, const std::string& nick) {
        state_ = std::make_unique<AppState>();
        zaplo::test::PrepareState(*state_, nMode, nick);
        closer_ = std::make_unique<zaplo::test::MessageBoxCloser>();
        window_ = std::make_unique<frmMain>(*state_);
        state_->colSendQueue.clear();
    }
    CanvasWidget& Canvas() { return *window_->findChild<CanvasWidget*>(); }

private Q_SLOTS:
    void cleanup() {
        window_.reset();
        closer_.reset();
        state_.reset();
    }

    void joinAndLeaveOnTheServer() {
        Open(0, "host");
        state_->nUsers = 2;
        Feed(*window_, "{2}ann\r\n", 1);
        Feed(*window_, "{2}bob\r\n", 2);
        QCOMPARE(window_->UserRows(), (Rows{"host", "ann", "bob"}));
        QVERIFY(window_->StatusText().startsWith(
            QStringLiteral("bob has joined!\r\nann has joined!\r\n")));

        Feed(*window_, "{3}\r\n", 1);
        QCOMPARE(window_->UserRows(), (Rows{"host", "bob"}));
        QVERIFY(window_->StatusText().startsWith(QStringLiteral("ann has been disconnected!\r\n")));
        QCOMPARE(state_->colSendQueue, (Queue{"{9}ann has been disconnected!", "{8}host;bob;"}));
        // bob now stands second but is still found by his slot.
        Feed(*window_, "{3}\r\n", 2);
        QCOMPARE(window_->UserRows(), Rows{"host"});
        QVERIFY(window_->StatusText().startsWith(QStringLiteral("bob has been disconnected!\r\n")));
    }

    void chatOnServerIsShownAndEchoed() {
        Open(0, "host");
        state_->nUsers = 1;
        Feed(*window_, "{1}{ann}hi\r\n{1}{ann}again\r\n", 1);
        QCOMPARE(window_->ChatText(), QStringLiteral("{ann}again\r\n{ann}hi\r\n"));
        QCOMPARE(state_->colSendQueue, (Queue{"{1}{ann}hi", "{1}{ann}again"}));
    }

    void clientTakesListStatusAndChatWithoutAnswering() {
        Open(1, "ann");
        Feed(*window_, "{8}host;<img src=x>;ann;\r\n", -1);
        QCOMPARE(window_->UserRows(), (Rows{"host", "<img src=x>", "ann"}));
        auto* list = window_->findChild<QListWidget*>(QStringLiteral("listUsers"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("<img src=x>"));
        Feed(*window_, "{8}host;\r\n", -1); // a new list replaces the old one
        QCOMPARE(window_->UserRows(), Rows{"host"});
        Feed(*window_, "{9}<b>ann</b> has joined!\r\n{1}{ann}hi\r\n", -1);
        QVERIFY(window_->StatusText().startsWith(QStringLiteral("<b>ann</b> has joined!\r\n")));
        QCOMPARE(window_->ChatText(), QStringLiteral("{ann}hi\r\n"));
        QVERIFY(state_->colSendQueue.empty());
    }

    void drawAndClearRecordsReachTheCanvas() {
        Open(1, "ann");
        Feed(*window_, "{10}10;20;15;20;255;\r\n", -1);
        QCOMPARE(MarkedCount(Canvas()), 5);
        for (int x = 10; x < 15; ++x) {
            QCOMPARE(Canvas().Image().pixelColor(x, 20), QColor(255, 0, 0));
        }
        QCOMPARE(state_->lDrawColor, 0);
        // Colour field missing: black.
        Feed(*window_, "{10}0;30;3;30;\r\n", -1);
        QCOMPARE(Canvas().Image().pixelColor(1, 30), QColor(Qt::black));
        // A record no program sends is not drawn.
        Feed(*window_, "{10}0;40;40000;40;0;\r\n{10}0;41;5;41;16777216;\r\n", -1);
        QCOMPARE(MarkedCount(Canvas()), 8);
        Feed(*window_, "{11}\r\n", -1);
        QCOMPARE(MarkedCount(Canvas()), 0);
        QVERIFY(state_->colSendQueue.empty());
    }
};

QTEST_MAIN(DispatchTest)
#include "DispatchTest.moc"
