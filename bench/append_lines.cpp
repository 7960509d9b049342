// SPDX-License-Identifier: MIT
// Cost of adding lines at the top of a status box as the log grows. Adding twice as many lines
// should take about twice as long (flat cost per line). For contrast, the same for a box whose
// whole text is rebuilt for every line, which grows with the square of the line count.
//
// Run: QT_QPA_PLATFORM=offscreen ./build/bench/append_lines
#include "ui/main/LogBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>

#include <cstdio>

namespace {

QString LineText(int i) {
    return QStringLiteral("guest%1 has joined!").arg(i);
}

template <typename Box> Box* Fresh() {
    auto* box = new Box;
    box->resize(150, 70);
    box->show();
    QApplication::processEvents();
    return box;
}

double TimeLogBox(int nLines) {
    auto* box = Fresh<zaplo::LogBox>();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < nLines; ++i) {
        box->AddLine(LineText(i));
    }
    QApplication::processEvents(); // include the repaint that follows
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    delete box;
    return ms;
}

double TimeRebuild(int nLines) {
    auto* box = Fresh<QPlainTextEdit>();
    box->setReadOnly(true);
    box->setUndoRedoEnabled(false);
    QString text;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < nLines; ++i) {
        text = LineText(i) + QLatin1String("\r\n") + text;
        box->setPlainText(text);
    }
    QApplication::processEvents();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    delete box;
    return ms;
}

void Report(const char* name, int n1, double t1, int n2, double t2) {
    std::printf("%-28s %6d lines: %9.1f ms   %6d lines: %9.1f ms   ratio %.2f\n", name, n1, t1, n2,
                t2, t2 / t1);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);

    TimeLogBox(1000); // warm-up
    const double log10k = TimeLogBox(10000);
    const double log20k = TimeLogBox(20000);
    Report("LogBox (insert at start)", 10000, log10k, 20000, log20k);

    // The rebuilding box is quadratic; fewer lines keep the run short.
    const double naive1k = TimeRebuild(1000);
    const double naive2k = TimeRebuild(2000);
    Report("whole-text rebuild", 1000, naive1k, 2000, naive2k);
    return 0;
}
