// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class QProcessEnvironment;

namespace zaplo {

class ControlCommand;

// `zaplo-server --control ...`: sends one command to a running server's control socket and
// gives its answer.
class ControlClient {
public:
    // How long the server has to answer, the connection included.
    static constexpr int kTimeoutMs = 10000;
    // A longer answer is taken for a broken one.
    static constexpr std::size_t kMaxAnswer = 16U * 1024U * 1024U;

    struct Result {
        int nStatus = 0;                // 0: done; 1: refused or no answer
        std::vector<std::string> lines; // the results, one a line
        std::string szError;            // when nStatus is not 0: the one-line reason
    };

    static Result Run(const std::string& szPath, const ControlCommand& command);
    // `zaplo-server --control` with the command's words and the socket asked for (empty: found
    // in env): prints the results on standard output, one a line, or the reason on standard
    // error; gives the exit status (2: the command is wrong).
    static int Main(const std::vector<std::string>& args, const std::string& szSocket,
                    const QProcessEnvironment& env);

    // The socket a command goes to unless told: the first that exists of a server's default
    // place (ControlServer::DefaultPath, as this environment has it), $XDG_RUNTIME_DIR's, the
    // service unit's (/run/zaplo-server/control) and the temporary directory's; when none
    // exists, the first of them.
    static std::string FindPath(const QProcessEnvironment& env);
};

} // namespace zaplo
