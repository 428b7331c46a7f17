// The programme and folder exports through their C interface, and their presence in libkelvra.so.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kelvra/kelvra.h"
#include "library/programme/programme_files.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A Windows-style path to the same place: the exports take "\" as a separator.
std::string backslashed(const fs::path& p) {
    std::string s = p.string();
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

TEST(Exports, AreVisibleInTheSharedLibrary) {
    void* lib = dlopen(KELVRA_SO_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    for (const char* name :
         {"WriteScreenConfig", "WriteAreaConfig", "AddPicStuntList", "WritePlayList", "WriteLEDDownLoadProj",
          "DelTreeOrFile", "MoveTreeOrFile", "CopyTreeOrFile", "CreateFolder"})
        EXPECT_NE(dlsym(lib, name), nullptr) << name;
    EXPECT_EQ(dlsym(lib, "_ZN6kelvra9programme17library_play_listEv"), nullptr) << "internals stay hidden";
    dlclose(lib);
}

TEST(Exports, PlayListFromWindowsStylePaths) {
    support::TempDir dir;
    support::write_file(dir / "src/x.jpg", "J");
    support::write_file(dir / "src/y.bmp", "B");
    EXPECT_EQ(AddPicStuntList(backslashed(dir / "src/x.jpg").c_str(), 1, 0, 0, 1, 1, 3, 0), 0u);
    EXPECT_EQ(AddPicStuntList(backslashed(dir / "src/y.bmp").c_str(), 1, 0, 0, 1, 1, 3, 0), 0u);
    EXPECT_EQ(AddPicStuntList("D:\\Pics\\A.PNG", 1, 0, 0, 1, 1, 3, 0), 1u);
    EXPECT_EQ(AddPicStuntList(nullptr, 1, 0, 0, 1, 1, 3, 0), 1u);
    const std::string folder = backslashed(dir / "prog/list") + "\\";
    ASSERT_EQ(WritePlayList(folder.c_str()), 0u);
    EXPECT_EQ(fs::file_size(dir / "prog/list/Config.sys"), 596u + 2 * 288u);
    EXPECT_EQ(support::read_text(dir / "prog/list/Jpeg/x.jpg"), "J");
    EXPECT_EQ(support::read_text(dir / "prog/list/y.bmp"), "B");
    EXPECT_EQ(WritePlayList(folder.c_str()), 1u);
}

TEST(Exports, AFailedPlayListWriteReturnsTwoAndKeepsTheItems) {
    support::TempDir dir;
    support::write_file(dir / "blocker", "file");
    ASSERT_EQ(AddPicStuntList("a.gif", 1, 0, 0, 1, 1, 3, 0), 0u);
    EXPECT_EQ(WritePlayList(dir.text("blocker").c_str()), 2u);
    EXPECT_EQ(WritePlayList(dir.text("ok").c_str()), 0u);
    EXPECT_EQ(fs::file_size(dir / "ok/Config.sys"), 596u + 288u);
}

TEST(Exports, RecordWritersAndTheirArguments) {
    support::TempDir dir;
    std::vector<std::uint8_t> block(2000, 0x5A);
    EXPECT_EQ(WriteScreenConfig(backslashed(dir / "p").c_str(), 1, 2, block.data()), 0);
    EXPECT_EQ(fs::file_size(dir / "p/Config.sys"), 2316u);
    EXPECT_EQ(WriteAreaConfig(backslashed(dir / "p/Area0").c_str(), 0, 0, 64, 32, 0, 0, 0xFF, "bg.jpg", 0,
                              nullptr, 1, block.data()),
              0);
    EXPECT_EQ(fs::file_size(dir / "p/Area0/Config.sys"), 4728u);
    EXPECT_EQ(WriteLEDDownLoadProj(backslashed(dir / "d/show.LEDPRO").c_str(), 0, block.data()), 0);
    EXPECT_TRUE(fs::is_directory(dir / "d/show"));
    EXPECT_EQ(fs::file_size(dir / "d/show.LEDPRO"), 1624u);

    EXPECT_EQ(WriteScreenConfig(nullptr, 0, 0, block.data()), -1);
    EXPECT_EQ(WriteScreenConfig(dir.text("q").c_str(), 0, 0, nullptr), -1);
    EXPECT_EQ(WriteAreaConfig(dir.text("q").c_str(), 0, 0, 0, 0, 0, 0, 0, nullptr, 0, nullptr, 0, nullptr),
              -1);
    EXPECT_EQ(WriteLEDDownLoadProj(dir.text("q.LEDPRO").c_str(), 0, nullptr), -1);
    support::write_file(dir / "blocker", "a file where a folder should be");
    EXPECT_EQ(WriteLEDDownLoadProj(dir.text("blocker/q.LEDPRO").c_str(), 0, block.data()), -1);
}

TEST(Exports, FolderOperations) {
    support::TempDir dir;
    CreateFolder(backslashed(dir / "a\\b\\c").c_str());
    EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
    support::write_file(dir / "a/b/c/f.txt", "data");

    // A double-NUL path list: the first path is used.
    const std::string list =
        dir.text("a") + std::string("\0", 1) + dir.text("nowhere") + std::string(2, '\0');
    EXPECT_EQ(CopyTreeOrFile(list.c_str(), dir.text("copy").c_str()), 1);
    EXPECT_EQ(support::read_text(dir / "copy/b/c/f.txt"), "data");

    EXPECT_EQ(MoveTreeOrFile(dir.text("copy").c_str(), dir.text("a").c_str()),
              1);  // into the existing folder
    EXPECT_EQ(support::read_text(dir / "a/copy/b/c/f.txt"), "data");
    EXPECT_FALSE(fs::exists(dir / "copy"));

    EXPECT_EQ(CopyTreeOrFile(dir.text("a").c_str(), dir.text("a/b").c_str()), 0);  // into itself
    EXPECT_EQ(MoveTreeOrFile(dir.text("missing").c_str(), dir.text("x").c_str()), 0);
    EXPECT_EQ(CopyTreeOrFile(nullptr, dir.text("x").c_str()), 0);
    EXPECT_EQ(CopyTreeOrFile("", dir.text("x").c_str()), 0);

    EXPECT_EQ(DelTreeOrFile(dir.text("a").c_str()), 1);
    EXPECT_FALSE(fs::exists(dir / "a"));
    EXPECT_EQ(DelTreeOrFile(dir.text("a").c_str()), 0);
    EXPECT_EQ(DelTreeOrFile(nullptr), 0);
    CreateFolder(nullptr);
}

// Several threads add while another writes: every added item lands in exactly one written list.
TEST(Exports, PendingListIsSafeAcrossThreads) {
    support::TempDir dir;
    constexpr int kThreads = 4;
    constexpr int kEach = 10;  // 40 in all, within the 50 a list holds
    std::atomic<int> done{0};
    std::vector<std::thread> adders;
    for (int t = 0; t < kThreads; ++t) {
        adders.emplace_back([&] {
            for (int i = 0; i < kEach; ++i)
                EXPECT_EQ(AddPicStuntList("missing/p.bmp", 1, 0, 0, 1, 1, 3, 0), 0u);
            ++done;
        });
    }
    std::size_t written = 0;
    int round = 0;
    auto collect = [&] {
        const fs::path folder = dir / ("l" + std::to_string(round++));
        if (WritePlayList(folder.c_str()) == 0) written += (fs::file_size(folder / "Config.sys") - 596) / 288;
    };
    while (done.load() < kThreads) collect();
    for (auto& t : adders) t.join();
    collect();
    EXPECT_EQ(written, static_cast<std::size_t>(kThreads * kEach));
}

}  // namespace
