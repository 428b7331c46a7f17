// ".hcp" files and "temp.sys" on disk: what is read, what is kept, and how failures come back.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "screenconfig/record_files.h"
#include "test_files.h"

using namespace screenconfig;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

class RecordFiles : public ::testing::Test {
  protected:
    void SetUp() override { dir_ = testing_support::fresh_test_dir("screenconfig_files"); }
    static void write(const fs::path& p, const Bytes& b) { testing_support::write_file(p, b); }
    static Bytes read(const fs::path& p) { return testing_support::read_file(p); }
    // A record with every byte set and a correct sum.
    static ScreenParams sealed_record() {
        ScreenParams p;
        for (std::size_t i = 0; i < 68; ++i) p.bytes()[i] = static_cast<std::uint8_t>(i * 13 + 5);
        p.seal();
        return p;
    }
    static Bytes bytes_of(const ScreenParams& p) { return Bytes(p.bytes().begin(), p.bytes().end()); }
    fs::path dir_;
};

}  // namespace

TEST_F(RecordFiles, LoadAcceptsACorrectSumAndFlagsEveryChangedByte) {
    const Bytes good = bytes_of(sealed_record());
    const fs::path file = dir_ / "a.hcp";
    write(file, good);
    const HcpLoad ok = load_hcp(file);
    EXPECT_EQ(ok.status, LoadStatus::Ok);
    EXPECT_EQ(bytes_of(ok.record), good);

    for (std::size_t i = 0; i < 68; ++i) {
        Bytes bad = good;
        bad[i] ^= 0x01;
        write(file, bad);
        const HcpLoad load = load_hcp(file);
        EXPECT_EQ(load.status, LoadStatus::SumMismatch) << "byte " << i;
        EXPECT_EQ(bytes_of(load.record), bad) << "the record is kept as read";
    }
}

TEST_F(RecordFiles, LoadReadsOnlyTheFirst72Bytes) {
    Bytes longer = bytes_of(sealed_record());
    longer.insert(longer.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01});
    write(dir_ / "long.hcp", longer);
    const HcpLoad load = load_hcp(dir_ / "long.hcp");
    EXPECT_EQ(load.status, LoadStatus::Ok);
    EXPECT_EQ(bytes_of(load.record), Bytes(longer.begin(), longer.begin() + 72));
}

TEST_F(RecordFiles, LoadFailures) {
    write(dir_ / "empty.hcp", {});
    write(dir_ / "short.hcp", Bytes(71, 0));
    fs::create_directories(dir_ / "folder.hcp");
    struct Case {
        fs::path path;
        LoadStatus status;
    } cases[] = {
        {dir_ / "missing.hcp", LoadStatus::OpenFailed},
        {dir_ / "empty.hcp", LoadStatus::TooShort},
        {dir_ / "short.hcp", LoadStatus::TooShort},
        {dir_ / "folder.hcp", LoadStatus::ReadFailed},  // opens, but read() gives EISDIR
    };
    for (const auto& c : cases) EXPECT_EQ(load_hcp(c.path).status, c.status) << c.path;
}

TEST_F(RecordFiles, SaveWritesAFreshSumAtOffsetZeroAndKeepsALongerFilesTail) {
    ScreenParams p = sealed_record();
    p.bytes()[10] ^= 0xFF;  // the stored sum is now stale
    Bytes old(100, 0xEE);
    write(dir_ / "over.hcp", old);
    ASSERT_EQ(save_hcp(dir_ / "over.hcp", p), WriteStatus::Ok);
    EXPECT_TRUE(p.sum_matches());
    const Bytes on_disk = read(dir_ / "over.hcp");
    ASSERT_EQ(on_disk.size(), 100u);
    EXPECT_EQ(Bytes(on_disk.begin(), on_disk.begin() + 72), bytes_of(p));
    EXPECT_EQ(Bytes(on_disk.begin() + 72, on_disk.end()), Bytes(28, 0xEE));
    EXPECT_EQ(load_hcp(dir_ / "over.hcp").status, LoadStatus::Ok);

    ASSERT_EQ(save_hcp(dir_ / "new.hcp", p), WriteStatus::Ok);
    EXPECT_EQ(read(dir_ / "new.hcp"), bytes_of(p));
}

TEST_F(RecordFiles, WriteFailuresAreReported) {
    ScreenParams p = sealed_record();
    EXPECT_EQ(save_hcp(dir_ / "no-such-folder" / "x.hcp", p), WriteStatus::OpenFailed);
    EXPECT_FALSE(fs::exists(dir_ / "no-such-folder"));
    EXPECT_EQ(save_hcp(dir_, p), WriteStatus::OpenFailed);  // a folder
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(save_hcp("/dev/full", p), WriteStatus::WriteFailed);  // ENOSPC
    }
    EXPECT_NE(describe(WriteStatus::WriteFailed, "/x/y.hcp").find("/x/y.hcp"), std::string::npos);
}

TEST_F(RecordFiles, TempSysHoldsExactlyTheImage) {
    ScreenConfig image;
    build_blank(image);
    finish(image);
    const fs::path file = temp_sys_path(dir_);
    EXPECT_EQ(file.filename(), "temp.sys");
    write(file, Bytes(3'000'000, 0x77));  // an older, larger file is replaced, not overwritten in part
    ASSERT_EQ(write_temp_sys(image, file), WriteStatus::Ok);
    const Bytes on_disk = read(file);
    EXPECT_EQ(on_disk, Bytes(image.bytes().begin(), image.bytes().end()));
    EXPECT_FALSE(fs::exists(dir_ / "temp.sys.part"));
}

TEST_F(RecordFiles, FailedTempSysWriteKeepsThePreviousImage) {
    const fs::path file = dir_ / "temp.sys";
    write(file, Bytes(10, 0x42));
    ScreenConfig image;
    build_blank(image);
    // The part file cannot be created where a folder of that name stands.
    fs::create_directories(dir_ / "temp.sys.part");
    EXPECT_NE(write_temp_sys(image, file), WriteStatus::Ok);
    EXPECT_EQ(read(file), Bytes(10, 0x42));
    EXPECT_EQ(write_temp_sys(image, dir_ / "missing" / "temp.sys"), WriteStatus::OpenFailed);
}
