// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArrayList>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

// A process start on a loaded machine, under the sanitizers, may take seconds.
constexpr int kWaitMs = 20000;

// The built zaplo-server as a separate process; its standard output is gathered as it comes.
// It runs with a runtime directory of its own, so its default control socket meets no other.
struct ServerProcess {
    explicit ServerProcess(QStringList args) {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [this] { out += process.readAllStandardOutput(); });
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("RUNTIME_DIRECTORY"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(ZAPLO_SERVER_BIN), args);
    }
    ~ServerProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    bool WaitOut(const QByteArray& szText) {
        return QTest::qWaitFor([&] { return out.contains(szText); }, kWaitMs);
    }
    bool WaitEnd() {
        return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, kWaitMs);
    }
    // The printed lines without their time stamps; empty when any line has no stamp.
    QByteArrayList Lines() const {
        static const QRegularExpression stamp(
            QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)$"));
        QByteArrayList lines;
        for (const QByteArray& line : out.split('\n')) {
            if (line.isEmpty()) {
                continue;
            }
            const QRegularExpressionMatch match = stamp.match(QString::fromUtf8(line));
            if (!match.hasMatch()) {
                return {};
            }
            lines << match.captured(1).toUtf8();
        }
        return lines;
    }

    QTemporaryDir runtime;
    QProcess process;
    QByteArray out;
};
