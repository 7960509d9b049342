// SPDX-License-Identifier: MIT
#pragma once

namespace zaplo {

// Which of Qt's event loops a program that hosts sessions runs on. Chosen before the
// application object exists, once, by each program's main.
class EventLoopChoice {
public:
    // Qt's plain Unix event loop, not glib's: glib wakes its loop with a system call whenever a
    // socket's write watch comes or goes, which an encrypted socket does on every send, for
    // every receiver. Nothing here needs glib's loop: the windows show Qt's own dialogs.
    static void PreferUnixLoop();
};

} // namespace zaplo
