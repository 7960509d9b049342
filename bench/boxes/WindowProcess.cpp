// SPDX-License-Identifier: MIT
#include "bench/boxes/WindowProcess.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The first line the process writes to the pipe's end fd, which is then closed.
std::string FirstLine(int fd) {
    std::string line;
    char ch = 0;
    while (read(fd, &ch, 1) == 1 && ch != '\n') {
        line += ch;
    }
    close(fd);
    return line;
}

} // namespace

Window Start(const std::string& szWindow, const std::vector<std::string>& args,
             std::string* firstLine) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> all{szWindow};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    Window w;
    if (posix_spawn(&w.pid, szWindow.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    const std::string line = FirstLine(pipeFds[0]);
    if (firstLine) {
        *firstLine = line;
    }
    return w;
}

Window StartServer(const std::string& szWindow) {
    static std::mt19937 rng(static_cast<unsigned>(getpid()));
    for (int tries = 0; tries < 50; ++tries) {
        std::string line;
        const std::string port = std::to_string(20000 + rng() % 12000);
        Window w = Start(szWindow, {"server", port}, &line);
        w.nPort = static_cast<uint16_t>(std::atoi(line.c_str()));
        if (w.nPort != 0) {
            return w;
        }
        waitpid(w.pid, nullptr, 0); // the port was taken: the window has ended
    }
    std::fprintf(stderr, "server window did not start\n");
    std::exit(1);
}

Window StartClient(const std::string& szWindow, uint16_t nPort) {
    std::string line;
    Window w = Start(szWindow, {"client", std::to_string(nPort)}, &line);
    if (line != "connected") {
        std::fprintf(stderr, "client window did not start\n");
        std::exit(1);
    }
    return w;
}

void Stop(Window& w) {
    if (w.pid > 0) {
        kill(w.pid, SIGKILL);
        waitpid(w.pid, nullptr, 0);
        w.pid = -1;
    }
}
