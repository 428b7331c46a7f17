#include "tests/support/x11/xvfb.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace xvfb {

namespace {

using Clock = std::chrono::steady_clock;

// The pipe's write end as the child sees it: Xvfb writes the display number it took there.
constexpr int kChildFd = 9;

// Reads one line from `fd` until `deadline`; empty when the writer ended first or time ran out.
std::string read_line(int fd, Clock::time_point deadline) {
    std::string line;
    while (Clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(std::max<long long>(1, left.count())));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[32];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        line.append(buffer, static_cast<std::size_t>(n));
        if (const auto end = line.find('\n'); end != std::string::npos) return line.substr(0, end);
    }
    return {};
}

}  // namespace

Server::Server(int width, int height, int depth, int visual_class) {
    if (const char* d = std::getenv("DISPLAY")) {
        had_display_ = true;
        old_display_ = d;
    }
    // Xvfb picks a free display number itself (under its lock file) and writes it to the pipe once it
    // takes connections, so tests that start servers side by side never share a number.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        why_not_ = "no pipe for Xvfb";
        return;
    }
    const int child_fd = fds[1] == kChildFd ? kChildFd + 1 : kChildFd;
    const std::string screen =
        std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    const std::string fd_text = std::to_string(child_fd);
    std::vector<std::string> args = {"Xvfb", "-displayfd", fd_text, "-screen", "0",
                                     screen, "-nolisten",  "tcp",   "-noreset"};
    if (visual_class >= 0) {
        args.push_back("-cc");
        args.push_back(std::to_string(visual_class));
    }
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], child_fd);  // the copy is inherited
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        why_not_ = "Xvfb cannot be started";
        return;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    const std::string number = read_line(fds[0], deadline);
    close(fds[0]);
    const std::string name = ":" + number;
    ::Display* d = nullptr;
    while (!number.empty() && Clock::now() < deadline) {
        if ((d = XOpenDisplay(name.c_str())) != nullptr) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (d == nullptr) {
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        why_not_ = WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "Xvfb cannot be started"
                                                                   : "Xvfb did not take connections";
        return;
    }
    XCloseDisplay(d);
    pid_ = pid;
    display_ = name;
    setenv("DISPLAY", name.c_str(), 1);
}

Server::~Server() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    if (had_display_)
        setenv("DISPLAY", old_display_.c_str(), 1);
    else
        unsetenv("DISPLAY");
}

}  // namespace xvfb
