#include "tests/cardlink/fixture.h"
#include "tests/support/netns.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/localisation.h"
#include "platform/paths.h"

namespace cardlink_test {
namespace {

bool g_private = false;
std::filesystem::path g_root;

class Environment : public ::testing::Environment {
  public:
    void SetUp() override { SetUpProcess(); }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(g_root, ec);
    }
};

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new Environment);

}  // namespace

void SetUpProcess() {
    static bool done = false;
    if (done) return;
    done = true;
    // Before any thread exists: every later thread and child inherits the namespace.
    g_private = support::enter_private_network();
    char templ[] = "/tmp/cardlink-test-XXXXXX";
    g_root = ::mkdtemp(templ);
    std::filesystem::create_directories(g_root / "program");
    std::filesystem::create_directories(g_root / "config");
    ::setenv("XDG_CONFIG_HOME", (g_root / "config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (g_root / "data").c_str(), 1);
    paths::set_program_folder(g_root / "program");
    const auto lang = g_root / "lang.ini";
    std::ofstream(lang) << "[Setting]\nZAVO_Language=Test\n[String]\n"
                           "IDS_MESSAGE_CARD_LINK_ERROR=card link error\n"
                           "IDS_MESSAGE_VERSION_LOW=version low\n"
                           "IDS_MESSAGE_DUDO_LOW_VERSION=too old for smart setup\n"
                           "IDS_MESSAGE_SAME_IP_IN_NET=same address: \n";
    localisation::set_current_file(lang);
}

bool PrivateNetwork() {
    return g_private;
}

std::filesystem::path ProgramFolder() {
    return g_root / "program";
}

void WriteDefaultIni(const std::string& body) {
    std::ofstream(ProgramFolder() / "default.ini", std::ios::trunc) << "[DefaultParam]\n" << body;
}

void Shell(const std::string& cmd) {
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

LanNamespace::LanNamespace() {
    thread_ = std::thread([this] { loop(); });
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return ready_; });
    if (!ok_) ADD_FAILURE() << "cannot make a network namespace";
}

LanNamespace::~LanNamespace() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void LanNamespace::loop() {
    const bool ok = ::unshare(CLONE_NEWNET) == 0 && std::system("ip link set lo up") == 0;
    {
        std::lock_guard lock(mutex_);
        tid_ = static_cast<pid_t>(::syscall(SYS_gettid));
        ok_ = ok;
        ready_ = true;
    }
    cv_.notify_all();
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            job = std::move(jobs_.front());
            jobs_.pop();
        }
        job();
    }
}

void LanNamespace::run(const std::function<void()>& job) {
    std::mutex done_mutex;
    std::condition_variable done_cv;
    bool done = false;
    {
        std::lock_guard lock(mutex_);
        jobs_.push([&] {
            job();
            std::lock_guard l(done_mutex);
            done = true;
            done_cv.notify_all();
        });
    }
    cv_.notify_all();
    std::unique_lock lock(done_mutex);
    done_cv.wait(lock, [&] { return done; });
}

void LanNamespace::shell(const std::string& cmd) {
    int rc = -1;
    run([&] { rc = std::system(cmd.c_str()); });
    ASSERT_EQ(rc, 0) << cmd;
}

void LanNamespace::connect(const std::string& pc_if, const std::string& pc_cidr, const std::string& lan_if,
                           const std::vector<std::string>& lan_cidrs) {
    Shell("ip link add " + pc_if + " type veth peer name " + lan_if + " netns " + std::to_string(tid_));
    Shell("ip addr add " + pc_cidr + " dev " + pc_if + " && ip link set " + pc_if + " up");
    std::string cmd;
    for (const auto& cidr : lan_cidrs) cmd += "ip addr add " + cidr + " dev " + lan_if + " && ";
    shell(cmd + "ip link set " + lan_if + " up");
    // Wait for the carrier on both ends, so the first datagram is not lost.
    Shell("for i in $(seq 100); do ip link show " + pc_if +
          " | grep -q LOWER_UP && exit 0; sleep 0.02; done; exit 1");
}

}  // namespace cardlink_test
