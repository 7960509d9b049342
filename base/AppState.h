// SPDX-License-Identifier: MIT
#pragma once

#include "base/CertificateNote.h"
#include "base/LinkTimeouts.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zaplo {

// Which side of a session this copy of the program is.
enum class Mode : int32_t { Server = 0, Client = 1 };

// The program-wide settings and session state that the windows share. main() creates exactly one
// and hands it to every window, so a test can run a server and several clients in one process,
// each with an AppState of its own. Texts are bytes (UTF-8 where they are shown).
class AppState {
public:
    AppState();

    Mode nMode = Mode::Server;
    int16_t nPort = 0;
    std::string szServerIP;
    std::string szNick;
    int16_t nUsers = 0; // highest client slot of the current server session
    bool bConnected = false;
    std::deque<std::string> colSendQueue; // outgoing messages, code + payload, no CR LF
    // Called after a message is queued; the session wakes its send timer.
    std::function<void()> onQueued;
    int32_t lDrawColor = 0; // red + 256 * green + 65536 * blue
    int16_t nLastX = 0;
    int16_t nLastY = 0;

    // The folder a picture was last saved to in this run (UTF-8); empty before the first save.
    // Kept for the run only, never written anywhere.
    std::string szPictureFolder;

    // Address the server listens on; empty means every interface. Tests use "127.0.0.1".
    std::string szListenHost;

    // When a link to a vanished peer is given up (keep-alive and user timeout of every socket).
    LinkTimeouts linkTimeouts;

    // TLS, on request only; with none of it set every link is plain TCP.
    // Server: the certificate (PEM, a full chain as it is) and its private key (PEM); with both
    // set the port also serves TLS. bRequireTls turns plain clients away.
    std::string szTlsCert;
    std::string szTlsKey;
    bool bRequireTls = false;
    // Client: join over TLS; szTlsFingerprint (SHA-256, hex, colons optional) pins the server's
    // certificate instead of the system's store and the remembered ones.
    bool bTls = false;
    std::string szTlsFingerprint;
    // Client: a certificate nobody vouches for (Ask): true when the user accepts it, which
    // remembers it. Changed, NotPinned: the refusal, to be shown. Empty: refused unseen.
    std::function<bool(const CertificateNote&)> onCertificate;

    // Who may join. A client answers the server's challenge with szSessionPassword (none: it
    // joins at once, as always); a server starts with it as the session's password. nMaxUsers:
    // the most clients joined at once on a server (0: no limit).
    std::optional<std::string> szSessionPassword;
    int nMaxUsers = 0;

    // Millisecond tick counter (32-bit, wraps). Tests replace it to drive time.
    std::function<int32_t()> GetTicks;
    // Sleep in milliseconds, used by the intro's frame pacing. Tests replace it.
    std::function<void(int)> Sleep;
    // Called by EndProgram. The default ends the process at once; tests leave it empty and
    // observe Ended() instead. Code that calls EndProgram must return promptly afterwards.
    std::function<void()> onEnd;

    // Ends the program at once: no further handler is meant to run.
    void EndProgram();
    bool Ended() const { return bEnded_; }
    // Calls fn when the program ends (after onEnd), so a window's own event loop can leave at once
    // instead of polling Ended(). The watch lasts until UnwatchEnd with the returned id.
    int WatchEnd(std::function<void()> fn);
    void UnwatchEnd(int nId);

private:
    bool bEnded_ = false;
    std::vector<std::pair<int, std::function<void()>>> endWatches_;
    int nNextWatch_ = 0;
};

} // namespace zaplo
