#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

using support::TempDir;

namespace {

using State = platform::InstanceLock::State;

std::string unique_name(const char* base) {
    return std::string(base) + "-" + std::to_string(::getpid());
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    std::string name = unique_name("lock-test");
    {
        platform::InstanceLock first(name);
        ASSERT_EQ(first.state(), State::Acquired);
        platform::InstanceLock second(name);
        EXPECT_EQ(second.state(), State::HeldElsewhere);
        EXPECT_EQ(platform::InstanceLock::probe(name), State::HeldElsewhere);
    }
    EXPECT_EQ(platform::InstanceLock::probe(name), State::Acquired);
    platform::InstanceLock again(name);
    EXPECT_EQ(again.state(), State::Acquired);
}

TEST(InstanceLock, AnotherProcessSeesTheLockAndItDiesWithItsHolder) {
    std::string name = unique_name("lock-proc");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::InstanceLock held(name);
        char c = held.state() == State::Acquired ? 'y' : 'n';
        (void)::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_EQ(platform::InstanceLock::probe(name), State::HeldElsewhere);
    ::kill(child, SIGKILL);  // a holder that dies without cleaning up still frees the lock
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(platform::InstanceLock::probe(name), State::Acquired);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace

namespace {

// Without XDG_RUNTIME_DIR the lock lives in a folder of the shared temporary folder, which another user
// may have made first, or replaced by a link.
TEST(RuntimeFolder, FolderInTheSharedTemporaryFolderIsPrivateOrRefused) {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = xdg != nullptr ? xdg : "";
    ::unsetenv("XDG_RUNTIME_DIR");
    TempDir base;
    const auto folder = base / ("vantor-" + std::to_string(::getuid()));

    auto made = platform::checked_runtime_folder(base.path());
    EXPECT_EQ(made.path, folder);
    EXPECT_TRUE(made.problem.empty());
    struct stat st {};
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::getuid());

    // Ours but open to others: made private again.
    ::chmod(folder.c_str(), 0777);
    EXPECT_EQ(platform::checked_runtime_folder(base.path()).path, folder);
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A link in its place (to a folder someone else controls): refused.
    std::filesystem::remove(folder);
    std::filesystem::create_directory(base / "elsewhere");
    std::filesystem::create_directory_symlink(base / "elsewhere", folder);
    auto linked = platform::checked_runtime_folder(base.path());
    EXPECT_TRUE(linked.path.empty());
    EXPECT_NE(linked.problem.find("not a folder"), std::string::npos) << linked.problem;

    // Another user's folder: refused (needs the right to give a folder away).
    std::filesystem::remove(folder);
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    if (::chown(folder.c_str(), ::getuid() + 1, static_cast<gid_t>(-1)) == 0) {
        auto foreign = platform::checked_runtime_folder(base.path());
        EXPECT_TRUE(foreign.path.empty());
        EXPECT_NE(foreign.problem.find("another user"), std::string::npos) << foreign.problem;
    }
    if (!saved.empty()) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
}

}  // namespace
