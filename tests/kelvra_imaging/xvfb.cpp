#include "xvfb.h"

#include <X11/Xlib.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace xvfb {

namespace {

bool taken(int n) {
    const std::string x = std::to_string(n);
    return std::filesystem::exists("/tmp/.X11-unix/X" + x) ||
           std::filesystem::exists("/tmp/.X" + x + "-lock");
}

}  // namespace

Server::Server(int width, int height) {
    if (const char* d = std::getenv("DISPLAY")) {
        had_display_ = true;
        old_display_ = d;
    }
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    for (int n = 90; n < 200 && pid_ < 0; ++n) {
        if (taken(n)) continue;
        const std::string name = ":" + std::to_string(n);
        const pid_t pid = fork();
        if (pid < 0) break;
        if (pid == 0) {
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait, bounded, until it takes connections or ends (another server took the number first).
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        bool up = false, ended = false;
        while (!up && !ended && std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                ended = true;
                if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
                    why_not_ = "Xvfb cannot be started";
                    return;
                }
                break;
            }
            if (::Display* d = XOpenDisplay(name.c_str())) {
                XCloseDisplay(d);
                up = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (up) {
            pid_ = pid;
            display_ = name;
            setenv("DISPLAY", name.c_str(), 1);
            return;
        }
        if (!ended) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    why_not_ = "no display number free for Xvfb";
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
