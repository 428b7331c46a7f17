#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
