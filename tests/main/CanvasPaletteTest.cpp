// Strokes on the canvas, the Clear button, the swatches and the custom colour boxes.
#include "MainTestSupport.h"

#include "app/AppState.h"
#include "net/NetSession.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/ColourSwatch.h"
#include "ui/main/frmMain.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <deque>
#include <memory>

using zaplo::AppState;
using zaplo::CanvasWidget;
using zaplo::frmMain;

namespace {

using Queue = std::deque<std::string>;

// Widget positions of a canvas pixel: the inner area starts inside the 1-pixel border.
QPointF At(double x, double y) {
    return QPointF(x + CanvasWidget::kBorder, y + CanvasWidget::kBorder);
}

void Send(QWidget* target, QEvent::Type type, QPointF pos, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, target->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void Press(QWidget* canvas, QPointF pos, Qt::MouseButton button = Qt::LeftButton,
           Qt::MouseButtons held = Qt::LeftButton) {
    Send(canvas, QEvent::MouseButtonPress, pos, button, held);
}

void Move(QWidget* canvas, QPointF pos, Qt::MouseButtons held = Qt::LeftButton) {
    Send(canvas, QEvent::MouseMove, pos, Qt::NoButton, held);
}

QColor Rgb(int32_t clr) {
    return QColor(clr & 255, (clr >> 8) & 255, (clr >> 16) & 255);
}

// Pixels of the image that differ from the background.
std::vector<QPoint> Marked(const CanvasWidget& canvas) {
    std::vector<QPoint> marked;
    const QImage& image = canvas.Image();
    const QRgb background = canvas.Background().rgb();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != background) {
                marked.emplace_back(x, y);
            }
        }
    }
    return marked;
}

std::vector<QPoint> Row(int x0, int x1, int y) {
    std::vector<QPoint> points;
    for (int x = x0; x <= x1; ++x) {
        points.emplace_back(x, y);
    }
    return points;
}

} // namespace

class CanvasPaletteTest : public QObject {
    Q_OBJECT

    std::unique_ptr<AppState> state_;
    std::unique_ptr<frmMain> window_;

    CanvasWidget* Canvas() {
        return window_->findChild<CanvasWidget*>(QStringLiteral("picCanvas"));
    }
    zaplo::ColourSwatch* Swatch(int i) {
        return window_->findChild<zaplo::ColourSwatch*>(QStringLiteral("picCol_%1").arg(i));
    }
    QLineEdit* Box(int i) {
        return window_->findChild<QLineEdit*>(QStringLiteral("txtclrCustom_%1").arg(i));
    }

private Q_SLOTS:
    void init() {
        state_ = std::make_unique<AppState>();
        zaplo::test::PrepareState(*state_, 0, "host");
        window_ = std::make_unique<frmMain>(*state_);
        state_->colSendQueue.clear();
    }
    void cleanup() {
        window_.reset();
        state_.reset();
    }

    void withoutLinkNothingIsSentAndPressesDoNotDraw() {
        state_->bConnected = false;
        Press(Canvas(), At(10.9, 20.5));
        QCOMPARE(state_->nLastX, int16_t{10});
        QCOMPARE(state_->nLastY, int16_t{20});
        QVERIFY(Marked(*Canvas()).empty());
        // Moves still draw, locally only.
        state_->lDrawColor = 16711680;
        Move(Canvas(), At(13, 20));
        QCOMPARE(Marked(*Canvas()), Row(10, 12, 20));
        QCOMPARE(Canvas()->Image().pixelColor(11, 20), QColor(0, 0, 255));
        QCOMPARE(state_->nLastX, int16_t{13});
        QVERIFY(state_->colSendQueue.empty());
    }

    void pressWithLinkSendsAPointSegment() {
        state_->bConnected = true;
        state_->lDrawColor = 255;
        Press(Canvas(), At(30.7, 40.2));
        QCOMPARE(state_->colSendQueue, Queue{"{10}30;40;30;40;255;"});
        QVERIFY(Marked(*Canvas()).empty()); // a segment that ends where it starts marks nothing
    }

    void dragDrawsOneSegmentAndOneMessagePerMove() {
        state_->bConnected = true;
        state_->lDrawColor = 65280;
        Press(Canvas(), At(10, 20));
        Move(Canvas(), At(15.99, 20.1));
        Move(Canvas(), At(15, 24));
        Send(Canvas(), QEvent::MouseButtonRelease, At(15, 24), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(state_->colSendQueue, (Queue{"{10}10;20;10;20;65280;", "{10}10;20;15;20;65280;",
                                              "{10}15;20;15;24;65280;"}));
        std::vector<QPoint> expected = Row(10, 14, 20);
        for (int y = 20; y <= 23; ++y) {
            expected.emplace_back(15, y);
        }
        std::sort(expected.begin(), expected.end(), [](QPoint a, QPoint b) {
            return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x();
        });
        QCOMPARE(Marked(*Canvas()), expected);
        QCOMPARE(Canvas()->Image().pixelColor(12, 20), Rgb(65280));
        QCOMPARE(state_->nLastX, int16_t{15});
        QCOMPARE(state_->nLastY, int16_t{24});
        // The release leaves the last point; a later move without a button draws nothing.
        Move(Canvas(), At(100, 100), Qt::NoButton);
        QCOMPARE(state_->colSendQueue.size(), 3u);
    }

    void otherButtonsDoNothingAndPauseTheStroke() {
        state_->bConnected = true;
        state_->nLastX = 7;
        state_->nLastY = 8;
        Press(Canvas(), At(50, 50), Qt::RightButton, Qt::RightButton);
        Press(Canvas(), At(50, 50), Qt::MiddleButton, Qt::MiddleButton | Qt::RightButton);
        Move(Canvas(), At(60, 50), Qt::RightButton);
        QCOMPARE(state_->nLastX, int16_t{7});
        QCOMPARE(state_->nLastY, int16_t{8});
        QVERIFY(state_->colSendQueue.empty());

        Press(Canvas(), At(20, 30));
        state_->colSendQueue.clear();
        Move(Canvas(), At(40, 30), Qt::LeftButton | Qt::RightButton); // paused
        QVERIFY(state_->colSendQueue.empty());
        QCOMPARE(state_->nLastX, int16_t{20});
        QVERIFY(Marked(*Canvas()).empty());
        Move(Canvas(), At(25, 30)); // left alone again: goes on from the last stored point
        QCOMPARE(state_->colSendQueue, Queue{"{10}20;30;25;30;0;"});
        QCOMPARE(Marked(*Canvas()), Row(20, 24, 30));
    }

    void dragPastTheEdgeKeepsGoingWithNegativePoints() {
        // Real pointer events through the window: the canvas keeps the moves while the button
        // is held, also over the user list to its left.
        state_->bConnected = true;
        // Keep the queued strokes where the test can read them: no client would take them anyway.
        auto* timer = window_->Session()->findChild<QTimer*>(QStringLiteral("timerSendMsgs"));
        QVERIFY(timer != nullptr);
        timer->stop();
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        QWindow* handle = window_->windowHandle();
        const QPoint start = Canvas()->mapTo(window_.get(), At(4, 10).toPoint());
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, start);
        QTest::mouseMove(handle, start + QPoint(-10, 0));
        QTest::mouseMove(handle, start + QPoint(-10, -20));
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, start + QPoint(-10, -20));
        QCOMPARE(state_->colSendQueue,
                 (Queue{"{10}4;10;4;10;0;", "{10}4;10;-6;10;0;", "{10}-6;10;-6;-10;0;"}));
        // Only the part inside the image leaves a mark.
        QCOMPARE(Marked(*Canvas()), Row(0, 4, 10));
        QCOMPARE(state_->nLastX, int16_t{-6});
        QCOMPARE(state_->nLastY, int16_t{-10});
    }

    void clearErasesAndQueuesInAnyCase() {
        for (bool bConnected : {false, true}) {
            state_->bConnected = bConnected;
            state_->colSendQueue.clear();
            window_->DrawSegment(zaplo::DrawRecord{0, 0, 10, 10, 0});
            QVERIFY(!Marked(*Canvas()).empty());
            QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("btnClear")),
                              Qt::LeftButton);
            QVERIFY(Marked(*Canvas()).empty());
            QCOMPARE(state_->colSendQueue, Queue{"{11}"});
        }
    }

    void swatchClickMarksExactlyOneAndSetsTheColour() {
        for (int i = 0; i < 16; ++i) {
            QVERIFY(!Swatch(i)->IsMarked());
        }
        QTest::keyClicks(Box(0), QStringLiteral("12"));
        const std::vector<std::pair<int, int32_t>> clicks{{10, 255}, {8, 16777215}, {2, 83671}};
        for (const auto& [index, colour] : clicks) {
            QTest::mouseClick(Swatch(index), Qt::LeftButton);
            QCOMPARE(state_->lDrawColor, colour);
            for (int i = 0; i < 16; ++i) {
                QCOMPARE(Swatch(i)->IsMarked(), i == index);
            }
            QCOMPARE(Box(0)->text(), QStringLiteral("12"));
        }
        // A right click is no click.
        QTest::mouseClick(Swatch(0), Qt::RightButton);
        QCOMPARE(state_->lDrawColor, 83671);
        // The mark is drawn: the marked swatch's edge differs from its fill.
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        const QImage marked = Swatch(2)->grab().toImage();
        const QImage plain = Swatch(3)->grab().toImage();
        QVERIFY(marked.pixelColor(0, 0) != marked.pixelColor(10, 10));
        QCOMPARE(plain.pixelColor(0, 0), plain.pixelColor(10, 10));
    }

    void customBoxesMakeTheColour() {
        struct Case {
            QString r, g, b;
            int32_t colour;
            QString rShown;
        };
        const std::vector<Case> cases{
            {QStringLiteral("300"), {}, {}, 255, QStringLiteral("255")},
            {QStringLiteral("12a"), QStringLiteral("7"), {}, 1804, QStringLiteral("12a")},
            {QStringLiteral("2.5"), QStringLiteral("3.5"), {}, 2 + 4 * 256, QStringLiteral("2.5")},
            {QStringLiteral("-5"), QStringLiteral("1"), QStringLiteral("-"), 256,
             QStringLiteral("-5")},
            {QStringLiteral(" 9 "),
             {},
             QStringLiteral("999"),
             9 + 255 * 65536,
             QStringLiteral(" 9 ")},
        };
        for (const Case& c : cases) {
            for (int i = 0; i < 3; ++i) {
                Box(i)->clear();
            }
            QTest::keyClicks(Box(0), c.r);
            QTest::keyClicks(Box(1), c.g);
            QTest::keyClicks(Box(2), c.b);
            QCOMPARE(state_->lDrawColor, c.colour);
            QCOMPARE(Box(0)->text(), c.rShown);
        }
        QCOMPARE(Box(2)->text(), QStringLiteral("255"));
        // At most three characters.
        Box(1)->clear();
        QTest::keyClicks(Box(1), QStringLiteral("1234"));
        QCOMPARE(Box(1)->text(), QStringLiteral("123"));
        // Swatch marks stay while the colour comes from the boxes.
        Box(0)->clear();
        QTest::mouseClick(Swatch(5), Qt::LeftButton);
        QCOMPARE(state_->lDrawColor, 200 + 200 * 256);
        QTest::keyClicks(Box(0), QStringLiteral("1"));
        QVERIFY(Swatch(5)->IsMarked());
        QCOMPARE(state_->lDrawColor, 1 + 123 * 256 + 255 * 65536);
    }

    void colourAndLastPointOutliveTheWindow() {
        QTest::mouseClick(Swatch(12), Qt::LeftButton);
        Press(Canvas(), At(33, 44));
        window_.reset();
        window_ = std::make_unique<frmMain>(*state_);
        QCOMPARE(state_->lDrawColor, 16711680);
        QCOMPARE(state_->nLastX, int16_t{33});
        for (int i = 0; i < 16; ++i) {
            QVERIFY(!Swatch(i)->IsMarked());
        }
        for (int i = 0; i < 3; ++i) {
            QVERIFY(Box(i)->text().isEmpty());
        }
        // A move right away continues from the stored point in the kept colour.
        Move(Canvas(), At(36, 44));
        QCOMPARE(Marked(*Canvas()), Row(33, 35, 44));
        QCOMPARE(Canvas()->Image().pixelColor(34, 44), QColor(0, 0, 255));
    }
};

QTEST_MAIN(CanvasPaletteTest)
#include "CanvasPaletteTest.moc"
