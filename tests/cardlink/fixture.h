// Shared fixture of the card link tests.
//
// - The test process moves into a network namespace of its own before anything else runs, so the card
//   ports it binds and every broadcast it sends stay inside it, however the binary is started. Without
//   the privilege for that, the socket tests skip.
// - A QCoreApplication for the socket notifier (fixture_qt.cpp), a language file with distinct texts, a
// temporary program
//   folder ("default.ini") and registry folder.
// - Message boxes are recorded with support::RecordingMessages (tests/support/messages.h).
// - LanNamespace: a further namespace on a thread of its own (a "LAN" with cards on it), joined to the
//   test's namespace by a veth pair.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/messages.h"

namespace cardlink_test {

// Moves the process into its own network namespace and sets up the folders and language file; runs once,
// from the test environment before any test (and before the Qt environment makes its application).
void SetUpProcess();

// True when the process runs in a private network namespace made at start-up.
bool PrivateNetwork();
#define REQUIRE_PRIVATE_NETWORK()                                                                           \
    do {                                                                                                    \
        if (!::cardlink_test::PrivateNetwork()) GTEST_SKIP() << "needs a private network namespace (root)"; \
    } while (0)

std::filesystem::path ProgramFolder();                  // holds "default.ini"
void WriteDefaultIni(const std::string& section_body);  // replaces "default.ini" with [DefaultParam] + body

// Runs `cmd` through the shell; fails the test when it does not exit 0.
void Shell(const std::string& cmd);

// A network namespace kept by a thread of its own. Sockets made by run() stay in it.
class LanNamespace {
  public:
    LanNamespace();
    ~LanNamespace();
    LanNamespace(const LanNamespace&) = delete;
    LanNamespace& operator=(const LanNamespace&) = delete;

    // Runs `job` on the namespace's thread and waits for it.
    void run(const std::function<void()>& job);
    void shell(const std::string& cmd);
    pid_t tid() const { return tid_; }

    // Joins this namespace to the test's one: `pc_if` with `pc_cidr` here, `lan_if` with the given
    // addresses (the first with its prefix, e.g. "192.168.10.1/24") there.
    void connect(const std::string& pc_if, const std::string& pc_cidr, const std::string& lan_if,
                 const std::vector<std::string>& lan_cidrs);

  private:
    void loop();

    std::mutex mutex_;
    std::condition_variable cv_;
    std::queue<std::function<void()>> jobs_;
    bool stop_ = false;
    bool ready_ = false;
    bool ok_ = false;
    pid_t tid_ = 0;
    std::thread thread_;
};

}  // namespace cardlink_test
