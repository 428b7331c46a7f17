// A caller may unload libkelvra.so (dlclose) while one of its asynchronous jobs still runs: the
// library stays mapped, so the worker finishes its transfer instead of running unmapped code.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/listener.h"
#include "tests/support/wait.h"

namespace {

using namespace std::chrono_literals;
using SendFileFn = int (*)(const char*, const char*, int, std::uint32_t, const char*, const char*,
                           const char*, std::uint32_t);

constexpr const char* kIp = "127.44.0.1";

std::size_t thread_count() {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

TEST(Unload, AJobOutlivesDlcloseAndTheLibraryStaysMapped) {
    const int listener = support::listen_tcp(kIp, 31298, 4);
    ASSERT_GE(listener, 0);

    const auto file =
        std::filesystem::temp_directory_path() / ("kelvra-unload-" + std::to_string(::getpid()));
    constexpr std::size_t kSize = 200000;  // 100 pieces, about a second of pacing
    {
        std::vector<char> data(kSize, 'u');
        std::ofstream(file, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    const std::size_t threads_before = thread_count();

    void* lib = dlopen(KELVRA_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto send_file = reinterpret_cast<SendFileFn>(dlsym(lib, "SendFileToCard"));
    ASSERT_NE(send_file, nullptr);
    ASSERT_EQ(send_file("S730-413-05862", kIp, 1, 0, file.c_str(), "u.bin", nullptr, 4), 0);

    const int c = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(c, 0);
    std::vector<std::uint8_t> buf(65536);
    std::size_t got = 0;
    // The job is part way through its file when the caller unloads the library.
    while (got < 10000) {
        const ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
        ASSERT_GT(n, 0);
        got += static_cast<std::size_t>(n);
    }
    EXPECT_EQ(dlclose(lib), 0);

    for (;;) {
        pollfd p{c, POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 10000), 0) << "the transfer stalled";
        const ssize_t n = ::recv(c, buf.data(), buf.size(), 0);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    // 244-byte header packet, then 100 data pieces of 2000 + 32 bytes and one empty piece of 32.
    EXPECT_EQ(got, 244u + 100u * 2032u + 32u);
    // The worker ends after its closing pauses; it must get there without a crash.
    EXPECT_TRUE(support::wait_until([&] { return thread_count() <= threads_before; }, 10s));
    EXPECT_EQ(thread_count(), threads_before);
    EXPECT_NE(dlopen(KELVRA_SO, RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stays loaded";
    ::close(c);
    ::close(listener);
    std::filesystem::remove(file);
}

}  // namespace
