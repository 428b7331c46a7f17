// ledcard-sim: runs the simulated cards of the command line until SIGINT or SIGTERM.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "simulator/config.h"
#include "simulator/sim.h"

int main(int argc, char** argv) {
    const auto parsed = sim::parse_args(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(sim::kUsage, stdout);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "ledcard-sim: %s\n(see ledcard-sim --help)\n", parsed.error.c_str());
        return 2;
    }
    // Three sockets per address and one per connection: many cards need more than the default limit.
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
        lim.rlim_cur = lim.rlim_max;
        setrlimit(RLIMIT_NOFILE, &lim);
    }
    // Block the stop signals before the I/O thread starts, so only sigwait below receives them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    // Nothing reads the journal in memory here (the --journal file keeps every entry): hold little.
    auto config = parsed.config;
    config.journal_memory_entries = 1024;
    config.journal_memory_bytes = 1u << 20;
    auto started = sim::Simulator::start(config);
    if (!started) {
        std::fprintf(stderr, "ledcard-sim: %s\n", started.error.c_str());
        return 1;
    }
    for (const auto& c : parsed.config.cards)
        std::fprintf(stderr, "card %s at %s\n", c.id.c_str(), c.address.c_str());
    std::fprintf(stderr, "ledcard-sim: %zu cards ready\n", parsed.config.cards.size());

    // --show: the module window is a program of its own (the simulator has no Qt), beside this one.
    pid_t show = -1;
    if (parsed.show) {
        std::vector<std::string> args;
        for (const auto& c : parsed.config.cards)
            if (c.module)
                args.push_back(c.id + "=" + (started.simulator->card_folder(c.id) / "module.png").string());
        std::error_code ec;
        const auto program =
            std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "ledcard-sim-show";
        if (args.empty()) {
            std::fprintf(stderr, "ledcard-sim: --show: no card has a virtual module\n");
        } else if ((show = fork()) == 0) {
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            sigset_t none;
            sigemptyset(&none);
            pthread_sigmask(SIG_SETMASK, &none, nullptr);
            execv(program.c_str(), argv.data());
            std::fprintf(stderr, "ledcard-sim: cannot start %s\n", program.c_str());
            _exit(127);
        }
    }

    int sig = 0;
    sigwait(&stop_signals, &sig);
    if (show > 0) {
        kill(show, SIGTERM);
        waitpid(show, nullptr, 0);
    }
    started.simulator->stop();
    std::fprintf(stderr, "ledcard-sim: stopped (%s)\n", sig == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}
