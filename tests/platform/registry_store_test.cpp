#include "platform/registry_store.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"

using support::TempDir;

namespace {

class RegistryStore : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("XDG_CONFIG_HOME");
        if (old != nullptr) saved_ = old;
        ::setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_)
            ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    TempDir dir_;
    std::optional<std::string> saved_;
};

TEST_F(RegistryStore, MissingKeyOrValueReadsZero) {
    EXPECT_EQ(registry::read_value("quelmora", "net_card_index"), 0);
    registry::write_value("quelmora", "other", 5);
    EXPECT_EQ(registry::read_value("quelmora", "net_card_index"), 0);
}

TEST_F(RegistryStore, WritesFourRawBytesAndReadsTheFirstBack) {
    for (auto [written, read] :
         {std::pair<std::uint32_t, int>{0, 0}, {1, 1}, {255, 255}, {256, 0}, {300, 44}}) {
        EXPECT_EQ(registry::write_value("quelmora", "net_card_index", written), 0);
        EXPECT_EQ(registry::read_value("quelmora", "net_card_index"), read) << written;
    }
    std::ifstream raw(registry::store_folder() / "quelmora" / "net_card_index", std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(raw), std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, std::string("\x2C\x01\x00\x00", 4));
    EXPECT_EQ(registry::store_folder(), dir_.path() / "vantor" / "registry");
}

}  // namespace
