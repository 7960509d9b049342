// SPDX-License-Identifier: MIT
// What the picture for newcomers costs: records and bytes for an empty canvas, a sketch and a
// canvas of noise (every pixel its own colour, the worst case), and how long a newcomer takes
// from opening its window until its canvas equals the host's. The host and the newcomer are the
// program's real main windows, offscreen, in this one process (so both sides' work is counted
// in the time). The baseline is the same join with the picture option off: the time until the
// newcomer's user list arrives. A second figure: how long a stroke from an existing client takes
// to reach another existing client while a noise picture is being fed, against no feed.
//
//   QT_QPA_PLATFORM=offscreen zaplo_bench_picture [runs]       (default 5; medians are printed)
#include "base/AppState.h"
#include "net/SendQueue.h"
#include "net/core/MessageCode.h"
#include "ui/main/CanvasWidget.h"
#include "ui/main/frmMain.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace zaplo;

namespace {

int16_t FreePort() {
    QTcpServer probe;
    int16_t nPort = 0;
    do {
        nPort = static_cast<int16_t>(20000 + QRandomGenerator::global()->bounded(12000));
    } while (!probe.listen(QHostAddress::LocalHost, static_cast<quint16>(nPort)));
    return nPort;
}

// Runs events until done() or 60 s; false on time-out.
bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 60000) {
            return false;
        }
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

struct Window {
    std::unique_ptr<AppState> state = std::make_unique<AppState>();
    std::unique_ptr<frmMain> w;
};

std::unique_ptr<Window> Open(Mode nMode, const std::string& szNick, int16_t nPort) {
    auto window = std::make_unique<Window>();
    window->state->onEnd = nullptr;
    window->state->nMode = nMode;
    window->state->szNick = szNick;
    window->state->nPort = nPort;
    window->state->szListenHost = window->state->szServerIP = "127.0.0.1";
    window->w = std::make_unique<frmMain>(*window->state);
    return window;
}

const QImage& Picture(Window& window) {
    return window.w->findChild<CanvasWidget*>(QStringLiteral("picCanvas"))->Image();
}

bool Listed(Window& window, const std::string& szNick) {
    const auto rows = window.w->UserRows();
    return std::find(rows.begin(), rows.end(), szNick) != rows.end();
}

enum class Canvas { Empty, Sketch, Noise };

void Fill(frmMain& host, Canvas kind) {
    std::mt19937 random(5);
    if (kind == Canvas::Sketch) {
        // Forty strokes of twenty segments in four colours, as a few people would draw.
        const int32_t colours[] = {0, 255, 65280, 16711680};
        for (int s = 0; s < 40; ++s) {
            int x = static_cast<int>(random() % 248);
            int y = static_cast<int>(random() % 353);
            for (int i = 0; i < 20; ++i) {
                const int nx = std::clamp(x + static_cast<int>(random() % 21) - 10, 0, 247);
                const int ny = std::clamp(y + static_cast<int>(random() % 21) - 10, 0, 352);
                host.DrawSegment({static_cast<int16_t>(x), static_cast<int16_t>(y),
                                  static_cast<int16_t>(nx), static_cast<int16_t>(ny),
                                  colours[s % 4]});
                x = nx;
                y = ny;
            }
        }
    } else if (kind == Canvas::Noise) {
        for (int y = 0; y < CanvasWidget::kInnerHeight; ++y) {
            for (int x = 0; x < CanvasWidget::kInnerWidth; ++x) {
                host.DrawSegment({static_cast<int16_t>(x), static_cast<int16_t>(y),
                                  static_cast<int16_t>(x + 1), static_cast<int16_t>(y),
                                  static_cast<int32_t>(random() & 0xFFFFFFU)});
            }
        }
    }
}

struct Figures {
    double ms = 0;
    std::size_t nRecords = 0;
    std::size_t nBytes = 0;
};

// One join: with bPicture the time until the newcomer's canvas equals the host's, without it
// the time until the newcomer is answered.
Figures Join(Canvas kind, bool bPicture) {
    const int16_t nPort = FreePort();
    auto host = Open(Mode::Server, "host", nPort);
    Fill(*host->w, kind);
    if (bPicture) {
        host->w->findChild<QAction*>(QStringLiteral("mnuSendPicture"))->trigger();
    }
    QElapsedTimer clock;
    clock.start();
    auto newcomer = Open(Mode::Client, "new", nPort);
    const bool bDone = WaitFor([&] {
        return Listed(*newcomer, "new") && (!bPicture || Picture(*newcomer) == Picture(*host));
    });
    Figures figures{static_cast<double>(clock.nsecsElapsed()) / 1e6, host->w->PictureRecordsSent(),
                    host->w->PictureBytesSent()};
    if (!bDone) {
        std::fprintf(stderr, "a join did not complete\n");
        std::exit(1);
    }
    newcomer.reset();
    host.reset();
    return figures;
}

// The time a stroke from one existing client takes to show on another, with a noise picture
// being fed to a newcomer meanwhile or not.
double StrokeDelay(bool bFeeding) {
    const int16_t nPort = FreePort();
    auto host = Open(Mode::Server, "host", nPort);
    auto ann = Open(Mode::Client, "ann", nPort);
    auto bob = Open(Mode::Client, "bob", nPort);
    WaitFor([&] { return Listed(*bob, "bob") && Listed(*ann, "ann"); });
    Fill(*host->w, Canvas::Noise);
    host->w->findChild<QAction*>(QStringLiteral("mnuSendPicture"))->trigger();
    std::unique_ptr<Window> newcomer;
    if (bFeeding) {
        newcomer = Open(Mode::Client, "new", nPort);
        WaitFor([&] { return host->w->PictureBytesSent() > 256 * 1024; });
    }
    const QImage& bobs = Picture(*bob);
    QElapsedTimer clock;
    clock.start();
    ClientServerSendMessage(*ann->state, MessageCode::Draw, "10;10;11;10;255;");
    WaitFor([&] { return bobs.pixel(10, 10) == qRgb(255, 0, 0); });
    const double ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    if (bFeeding && host->w->PictureBytesSent() > 2 * 1024 * 1024) {
        std::fprintf(stderr, "(the feed had ended before the stroke arrived)\n");
    }
    newcomer.reset();
    bob.reset();
    ann.reset();
    host.reset();
    return ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int nRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<double> baseline;
    for (int i = 0; i < nRuns; ++i) {
        baseline.push_back(Join(Canvas::Empty, false).ms);
    }
    const double baseMs = Median(baseline);
    std::printf("runs per figure: %d (medians)\n", nRuns);
    std::printf("%-8s %9s %10s %12s %8s\n", "canvas", "records", "bytes", "time ms", "x join");
    std::printf("%-8s %9s %10s %12.1f %8.2f\n", "(off)", "0", "0", baseMs, 1.0);
    const std::pair<const char*, Canvas> kinds[] = {
        {"empty", Canvas::Empty}, {"sketch", Canvas::Sketch}, {"noise", Canvas::Noise}};
    for (const auto& [name, kind] : kinds) {
        std::vector<double> times;
        Figures last;
        for (int i = 0; i < nRuns; ++i) {
            last = Join(kind, true);
            times.push_back(last.ms);
        }
        const double ms = Median(times);
        std::printf("%-8s %9zu %10zu %12.1f %8.2f\n", name, last.nRecords, last.nBytes, ms,
                    ms / baseMs);
    }
    std::vector<double> idle;
    std::vector<double> feeding;
    for (int i = 0; i < nRuns; ++i) {
        idle.push_back(StrokeDelay(false));
        feeding.push_back(StrokeDelay(true));
    }
    std::printf("stroke between two clients: %.2f ms without a feed, %.2f ms during a noise "
                "feed (x %.2f)\n",
                Median(idle), Median(feeding), Median(feeding) / Median(idle));
    return 0;
}
