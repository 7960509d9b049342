// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace zaplo {

// Turns SIGTERM and SIGINT into a Qt signal on the event loop: the handler only writes the
// signal's number into a pipe (all a signal handler may safely do), and a socket notifier reads
// it from there. One per process; the handlers are put back when it goes.
class SignalPipe : public QObject {
    Q_OBJECT
public:
    explicit SignalPipe(QObject* parent = nullptr);
    ~SignalPipe() override;

    // False when the pipe or the handlers could not be set up.
    bool Ok() const { return bOk_; }

Q_SIGNALS:
    void Signalled(int nSignal);

private:
    void Drain();

    bool bOk_ = false;
    bool bOwner_ = false; // this one made the pipe (a second one in the process does not)
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace zaplo
