// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>

using LineFn = std::function<void(const QByteArray&)>;

// A participant: a TCP raw peer or a browser-like WebSocket client.
struct Peer {
    virtual ~Peer() = default;
    virtual void Send(const QByteArray& line) = 0;
    virtual qint64 Unsent() const = 0;
    virtual bool Up() const = 0;
    LineFn onLine;
    bool bJoined = false;
    long nLines = 0;
    void Line(const QByteArray& line) {
        ++nLines;
        if (line.startsWith("{8}")) {
            bJoined = true;
        }
        if (onLine) {
            onLine(line);
        }
    }
};
