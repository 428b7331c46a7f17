// What the transfers decide before anything is sent: the FileHeaderRecord bytes, the card names and
// folders taken from local paths, GetFileBuf, and the refusals that send nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kelvra/kelvra.h"
#include "library/protocol/file_transfer.h"
#include "tests/kelvra_protocol/recorder.h"
#include "tests/support/temp_dir.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FileHeaderRecord, BytesAtEveryOffset) {
    file_header::FileHeader h;
    h.file_type = 7;
    h.file_length = 0x01020304;
    h.folder = "Program\\Area0";
    h.file_name = "a.bmp";
    const auto bytes = file_header::encode(h);
    Bytes want(212, 0);
    want[0] = 7;
    want[4] = 0x04, want[5] = 0x03, want[6] = 0x02, want[7] = 0x01;
    const std::string folder = "Program\\Area0", name = "a.bmp";
    std::copy(folder.begin(), folder.end(), want.begin() + 12);
    std::copy(name.begin(), name.end(), want.begin() + 112);
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), want);
}

TEST(FileHeaderRecord, TextsKeepTheirNul) {
    for (std::size_t len : {99u, 100u, 150u}) {
        SCOPED_TRACE(len);
        file_header::FileHeader h;
        h.folder = std::string(len, 'f');
        h.file_name = std::string(len, 'n');
        const auto bytes = file_header::encode(h);
        // 99 characters and a NUL in each field; the folder never runs into the name.
        EXPECT_EQ(bytes[12 + 98], 'f');
        EXPECT_EQ(bytes[12 + 99], 0);
        EXPECT_EQ(bytes[112], 'n');
        EXPECT_EQ(bytes[112 + 98], 'n');
        EXPECT_EQ(bytes[112 + 99], 0);
    }
}

TEST(CardPaths, FileNameFromLocalPath) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/home/tech/show/clip.avi", "clip.avi"},
        {"C:\\shows\\Program\\a.bmp", "a.bmp"},
        {"/mixed\\form/b.gif", "b.gif"},
        {"plain.bin", "plain.bin"},  // no separator: the text is the name itself
        {"/ends/with/", ""},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(kelvra::card_file_name_of(path), name) << path;
}

TEST(CardPaths, FolderFromBaseName) {
    struct Case {
        const char* path;
        const char* base;
        const char* folder;
    };
    const std::vector<Case> cases = {
        {"/tmp/x/Program/a.bmp", "Program", "Program"},
        {"/tmp/x/Program/Area0/Jpeg/a.jpg", "Program", "Program\\Area0\\Jpeg"},
        {"\\tmp\\x\\Program\\Area0\\a.jpg", "Program", "Program\\Area0"},
        // Only a whole folder name counts: "Programs" and "MyProgram" are other folders.
        {"/tmp/Programs/Program/Area0/a.bmp", "Program", "Program\\Area0"},
        {"/tmp/MyProgram/a.bmp", "Program", ""},
        {"/tmp/x/Show/a.bmp", "Program", ""},
        {"/tmp/x/Program", "Program", ""},  // the file itself is named like the base
        {"/tmp/x/Program/Area0/a.bmp", "Program/Area0", "Program\\Area0"},
        {"/tmp/x/Program/Area0/a.bmp", "Program\\", "Program\\Area0"},
        {"/tmp/x/Program/a.bmp", "", ""},
        {"/Program/Program/a.bmp", "Program", "Program\\Program"},  // the first occurrence
    };
    for (const auto& c : cases)
        EXPECT_EQ(kelvra::card_folder_of(c.path, c.base), c.folder) << c.path << " base " << c.base;
}

class GetFileBufTest : public ::testing::Test {
  protected:
    support::TempDir dir_;
};

TEST_F(GetFileBufTest, WholeFileOrNothing) {
    const Bytes content = support::pattern(5003);
    const auto file = dir_.write("a/data.bin", content);
    const auto empty = dir_.write("a/empty.bin", Bytes{});
    const std::string fifo = (dir_.path() / "a/pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string backslashed = file.string();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');

    struct Case {
        std::string path;
        bool found;
        Bytes content;
    };
    const std::vector<Case> cases = {
        {file.string(), true, content},
        {backslashed, true, content},
        {empty.string(), true, {}},
        {(dir_.path() / "a/missing.bin").string(), false, {}},
        {(dir_.path() / "a").string(), false, {}},  // a folder
        {fifo, false, {}},                          // must not wait for a writer
        {"", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::uint32_t length = 0xDEADBEEF;
        unsigned char* buf = GetFileBuf(c.path.c_str(), &length);
        EXPECT_EQ(buf != nullptr, c.found);
        if (buf != nullptr) {
            EXPECT_EQ(length, c.content.size());
            EXPECT_EQ(Bytes(buf, buf + length), c.content);
        } else {
            EXPECT_EQ(length, 0xDEADBEEF) << "no length for a file that is not read";
        }
        std::free(buf);
    }
    EXPECT_EQ(GetFileBuf(nullptr, nullptr), nullptr);
}

// Refusals happen before any connection is tried: nothing reaches the status callback. The card
// address is one nobody listens on, so a send that did start would report 101.
TEST_F(GetFileBufTest, RefusalsSendNothing) {
    recorder::reset();
    const auto file = dir_.write("ok/file.bin", support::pattern(10));
    const std::string missing = (dir_.path() / "ok/missing.bin").string();
    constexpr const char* kId = "S730-413-00001";
    constexpr const char* kNobody = "127.43.0.250";

    EXPECT_EQ(SendFileToCard(kId, kNobody, 1, 0, missing.c_str(), "", nullptr, 4), 19);
    EXPECT_EQ(SendFileToCard(kId, kNobody, 101, 0, nullptr, "", nullptr, 4), 19);
    EXPECT_EQ(SendFileToCard(kId, kNobody, 101, 0, dir_.path().c_str(), "x", nullptr, 4), 19);
    for (int pt : {0, 6, 100, 106})
        EXPECT_EQ(SendFileToCard(kId, kNobody, pt, 0, file.c_str(), "", nullptr, 4), 31) << pt;

    // A dot anywhere in the folder path, a parent folder's name included.
    const auto dotted = dir_.write("v1.2/sub/file.bin", support::pattern(10)).parent_path();
    for (const std::string& path :
         {dotted.string(), (dir_.path() / "v1.2").string(), (dir_.path() / "ok").string() + "/."}) {
        EXPECT_EQ(SendFolderToCard(kId, kNobody, 1, 0, path.c_str(), "ok"), 1) << path;
    }
    // A card name or folder longer than 99 bytes is refused, never cut (two long names sharing their
    // first 99 bytes would become one file on the card).
    const std::string n99(99, 'n'), n100(100, 'n');
    const auto long_local = dir_.write("ok/" + n100, support::pattern(10));
    EXPECT_EQ(SendFileToCard(kId, kNobody, 1, 0, file.c_str(), n100.c_str(), nullptr, 4), 20);
    EXPECT_EQ(SendFileToCard(kId, kNobody, 101, 0, file.c_str(), "x", n100.c_str(), 4), 20);
    EXPECT_EQ(SendFileToCard(kId, kNobody, 1, 0, long_local.c_str(), "", nullptr, 4), 20);
    EXPECT_EQ(SendFileToCard(kId, kNobody, 1, 0, missing.c_str(), n100.c_str(), nullptr, 4), 20);
    EXPECT_EQ(SendFileToCard(kId, kNobody, 104, 0, file.c_str(), n99.c_str(), n99.c_str(), 4), 0)
        << "99 bytes fit (104 is accepted and sends nothing)";

    EXPECT_EQ(SendFolderToCard(kId, kNobody, 1, 0, (dir_.path() / "none").c_str(), "none"), 2);
    EXPECT_EQ(SendFolderToCard(kId, kNobody, 1, 0, nullptr, "none"), 2);

    EXPECT_TRUE(kelvra::wait_for_jobs(std::chrono::seconds(10)));
    EXPECT_EQ(recorder::codes(), std::vector<std::uint32_t>{});
}

}  // namespace
