// SPDX-License-Identifier: MIT
#include "net/EventLoopChoice.h"

#include <QByteArray>
#include <QtGlobal>

namespace zaplo {

void EventLoopChoice::PreferUnixLoop() {
    qputenv("QT_NO_GLIB", "1");
}

} // namespace zaplo
