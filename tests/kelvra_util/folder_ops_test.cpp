// Folder and file operations on real trees.
#include "library/base/folder_ops.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "library/protocol/library_state.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvra::files;
namespace fs = std::filesystem;

// Collects what the library shows while a test runs.
class ShownMessages {
  public:
    ShownMessages() { kelvra::set_message_handler(&ShownMessages::record, this); }
    ~ShownMessages() { kelvra::set_message_handler(nullptr, nullptr); }
    std::vector<std::string> texts;

  private:
    static void record(const char* text, void* self) {
        static_cast<ShownMessages*>(self)->texts.emplace_back(text);
    }
};

// Tests of permissions run without root's power to ignore them: as "nobody" in a child process, on a
// tree handed to that user. Without root they run directly.
constexpr uid_t kNobody = 65534;

bool hand_to_nobody(const fs::path& tree) {
    if (::geteuid() != 0) return true;
    for (auto it = fs::recursive_directory_iterator(tree); it != fs::recursive_directory_iterator(); ++it)
        if (::lchown(it->path().c_str(), kNobody, kNobody) != 0) return false;
    return ::chown(tree.c_str(), kNobody, kNobody) == 0;
}

template <typename Body>
bool as_nobody(Body body) {
    if (::geteuid() != 0) return body();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST(LocalPath, BackslashSeparatesToo) {
    EXPECT_EQ(local_path("a\\b/c\\d.jpg"), fs::path("a/b/c/d.jpg"));
}

TEST(CreateFolder, CreatesEveryMissingPart) {
    support::TempDir dir;
    fs::create_directory(dir / "a");
    for (const std::string suffix : {"", "/"}) {
        const std::string leaf = suffix.empty() ? "a/b/c" : "a/x/y";
        create_folder(dir.text(leaf) + suffix);
        EXPECT_TRUE(fs::is_directory(dir / leaf)) << leaf << suffix;
    }
    create_folder(dir / "a/b/c");  // all present: nothing changes, nothing fails
    EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
}

TEST(CreateFolder, APartInTheWayDoesNotStopTheWalkAndCreatesNothingBogus) {
    support::TempDir dir;
    support::write_file(dir / "file", "x");
    create_folder(dir / "file/sub");
    EXPECT_TRUE(fs::is_regular_file(dir / "file"));
    EXPECT_FALSE(fs::exists(dir / "file/sub"));
}

TEST(RemovePath, FilesAndTreesIncludingReadOnlyEntries) {
    support::TempDir dir;
    EXPECT_FALSE(remove_path(dir / "missing"));
    support::write_file(dir / "one.txt", "1");
    EXPECT_TRUE(remove_path(dir / "one.txt"));
    EXPECT_FALSE(fs::exists(dir / "one.txt"));

    support::write_file(dir / "tree/ro.txt", "r");
    support::write_file(dir / "tree/locked/inner.txt", "i");
    fs::permissions(dir / "tree/ro.txt", fs::perms::owner_read);
    fs::permissions(dir / "tree/locked/inner.txt", fs::perms::owner_read);
    fs::permissions(dir / "tree/locked", fs::perms::owner_read | fs::perms::owner_exec);  // read-only folder
    const fs::path tree = dir / "tree";
    ASSERT_TRUE(hand_to_nobody(dir.path()));
    EXPECT_TRUE(as_nobody([&] { return remove_path(tree.string() + "/"); }));
    EXPECT_FALSE(fs::exists(dir / "tree"));
}

TEST(CopyPath, FileAndTreeDestinations) {
    support::TempDir dir;
    support::write_file(dir / "f.txt", "file");
    support::write_file(dir / "t/a.txt", "a");
    support::write_file(dir / "t/sub/b.txt", "b");
    fs::create_directory(dir / "into");

    EXPECT_TRUE(copy_path(dir / "f.txt", dir / "into"));  // an existing folder: goes inside
    EXPECT_EQ(support::read_text(dir / "into/f.txt"), "file");
    EXPECT_TRUE(copy_path(dir / "f.txt", dir / "renamed.txt"));  // otherwise: becomes the destination
    EXPECT_EQ(support::read_text(dir / "renamed.txt"), "file");
    support::write_file(dir / "f.txt", "newer");
    EXPECT_TRUE(copy_path(dir / "f.txt", dir / "renamed.txt"));  // overwritten without asking
    EXPECT_EQ(support::read_text(dir / "renamed.txt"), "newer");

    EXPECT_TRUE(copy_path(dir / "t", dir / "into"));
    EXPECT_EQ(support::read_text(dir / "into/t/sub/b.txt"), "b");
    EXPECT_TRUE(copy_path(dir / "t", dir / "t2"));
    EXPECT_EQ(support::read_text(dir / "t2/a.txt"), "a");
    EXPECT_TRUE(fs::exists(dir / "t/sub/b.txt"));  // the source stays
}

TEST(CopyPath, Refusals) {
    support::TempDir dir;
    support::write_file(dir / "t/a.txt", "a");
    EXPECT_FALSE(copy_path(dir / "missing", dir / "x"));
    EXPECT_FALSE(copy_path(dir / "t", dir / "t/inner"));
    EXPECT_FALSE(copy_path(dir / "t", dir / "t"));
    EXPECT_FALSE(copy_path(dir / "t/a.txt", dir / "t/a.txt"));
    EXPECT_EQ(support::read_text(dir / "t/a.txt"), "a");
    EXPECT_FALSE(fs::exists(dir / "t/inner"));
}

TEST(MovePath, RenamesOrMovesInsideAndRemovesTheSource) {
    support::TempDir dir;
    support::write_file(dir / "t/sub/b.txt", "b");
    fs::create_directory(dir / "into");
    EXPECT_TRUE(move_path(dir / "t", dir / "into"));
    EXPECT_EQ(support::read_text(dir / "into/t/sub/b.txt"), "b");
    EXPECT_FALSE(fs::exists(dir / "t"));
    EXPECT_TRUE(move_path(dir / "into/t/sub/b.txt", dir / "c.txt"));
    EXPECT_EQ(support::read_text(dir / "c.txt"), "b");
    EXPECT_FALSE(move_path(dir / "into", dir / "into/t"));
    EXPECT_FALSE(move_path(dir / "gone", dir / "x"));
}

// A folder moved onto a folder of its name that exists already is merged into it, as a copy is, not
// placed one level too deep (dst/A/A).
TEST(MovePath, MergesIntoAnExistingFolderOfItsNameAsCopyDoes) {
    for (const bool move : {true, false}) {
        SCOPED_TRACE(move ? "move" : "copy");
        support::TempDir dir;
        support::write_file(dir / "src/A/x.txt", "x");
        support::write_file(dir / "src/A/sub/y.txt", "y");
        support::write_file(dir / "dst/A/z.txt", "z");
        support::write_file(dir / "dst/A/x.txt", "old");
        EXPECT_TRUE(move ? move_path(dir / "src/A", dir / "dst") : copy_path(dir / "src/A", dir / "dst"));
        EXPECT_EQ(support::read_text(dir / "dst/A/x.txt"), "x");
        EXPECT_EQ(support::read_text(dir / "dst/A/sub/y.txt"), "y");
        EXPECT_EQ(support::read_text(dir / "dst/A/z.txt"), "z");
        EXPECT_FALSE(fs::exists(dir / "dst/A/A"));
        EXPECT_EQ(fs::exists(dir / "src/A"), !move);
    }
    // The same through the export, and with the landing folder named as the destination itself.
    support::TempDir dir;
    support::write_file(dir / "src/A/x.txt", "x");
    support::write_file(dir / "dst/A/z.txt", "z");
    EXPECT_TRUE(move_path(dir / "src/A", dir / "dst/A"));
    EXPECT_EQ(support::read_text(dir / "dst/A/A/x.txt"), "x")
        << "an existing folder named as destination: inside it";
}

TEST(DeleteFolderTree, OnlyFoldersAndNoMessageWhenMissing) {
    support::TempDir dir;
    ShownMessages shown;
    EXPECT_FALSE(delete_folder_tree(dir / "missing"));
    support::write_file(dir / "file", "x");
    EXPECT_FALSE(delete_folder_tree(dir / "file"));
    EXPECT_TRUE(fs::exists(dir / "file"));
    support::write_file(dir / "tree/a/b.txt", "b");
    fs::permissions(dir / "tree/a/b.txt", fs::perms::owner_read);
    EXPECT_TRUE(delete_folder_tree(dir / "tree"));
    EXPECT_FALSE(fs::exists(dir / "tree"));
    EXPECT_TRUE(shown.texts.empty());
}

TEST(DeleteFolderTree, AFolderThatCannotBeRemovedShowsItsMessage) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a sub-folder to another user";
    support::TempDir dir;
    support::write_file(dir / "tree/theirs/f.txt", "f");
    ASSERT_TRUE(hand_to_nobody(dir.path()));
    ASSERT_EQ(::chown((dir / "tree/theirs").c_str(), 0, 0), 0);  // another owner's folder inside the tree
    const fs::path tree = dir / "tree";
    EXPECT_TRUE(as_nobody([&] {
        ShownMessages shown;
        return !delete_folder_tree(tree) && shown.texts == std::vector<std::string>{"Not found"};
    }));
    EXPECT_TRUE(fs::exists(dir / "tree/theirs/f.txt"));
}

TEST(FolderSize, SumsFilesAtEveryDepth) {
    support::TempDir dir;
    support::write_file(dir / "a.bin", "123");
    support::write_file(dir / "s/b.bin", "12345");
    support::write_file(dir / "s/t/c.bin", "1234567");
    fs::create_directory(dir / "s/empty");
    fs::create_symlink(dir / "a.bin", dir / "s/link");  // a link is not a file of its own
    EXPECT_EQ(folder_size(dir.path()), 15u);
}

TEST(FolderSize, AMissingFolderShowsItsMessage) {
    support::TempDir dir;
    ShownMessages shown;
    EXPECT_EQ(folder_size(dir / "missing"), 0u);
    ASSERT_EQ(shown.texts.size(), 1u);
    EXPECT_EQ(shown.texts[0], "Not found");  // no language file here: the lookup's fallback
}

TEST(FileLength, ZeroUnlessARegularFile) {
    support::TempDir dir;
    support::write_file(dir / "f", "12345");
    EXPECT_EQ(file_length(dir / "f"), 5u);
    EXPECT_EQ(file_length(dir / "missing"), 0u);
    EXPECT_EQ(file_length(dir.path()), 0u);
}

TEST(WriteBlock, CreatesOrPatchesWithoutTruncating) {
    support::TempDir dir;
    const std::vector<std::uint8_t> abc{'A', 'B', 'C'};
    ASSERT_TRUE(write_block(dir / "new", 2, abc));
    EXPECT_EQ(support::read_bytes(dir / "new"), (std::vector<std::uint8_t>{0, 0, 'A', 'B', 'C'}));

    support::write_file(dir / "old", "0123456789");
    ASSERT_TRUE(write_block(dir / "old", 4, abc));
    EXPECT_EQ(support::read_text(dir / "old"), "0123ABC789");
    ASSERT_TRUE(write_block(dir / "old", 9, abc));  // past the end: grows
    EXPECT_EQ(support::read_text(dir / "old"), "0123ABC78ABC");

    EXPECT_FALSE(write_block(dir / "no/such/folder/f", 0, abc));
    EXPECT_FALSE(fs::exists(dir / "no"));
}

}  // namespace
