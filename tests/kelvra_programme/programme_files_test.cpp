// The record writers and the pending play list, on real files.
#include "library/programme/programme_files.h"

#include <gtest/gtest.h>

#include "common/bytes.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace kelvra::programme;
using namespace bytes;
namespace fs = std::filesystem;

bool sealed(const std::vector<std::uint8_t>& b) {
    if (b.size() < 8 || b.size() % 4 != 0) return false;
    return word_sum(std::span(b).first(b.size() - 4)) == get_u32(b, b.size() - 4);
}

template <std::size_t N>
std::array<std::uint8_t, N> patterned_block() {
    std::array<std::uint8_t, N> block{};
    for (std::size_t i = 0; i < N; ++i) block[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return block;
}

TEST(WriteScreenConfig, WritesTheRecordIntoANewFolder) {
    support::TempDir dir;
    auto block = patterned_block<kAreaBlockSize>();
    ASSERT_EQ(write_screen_config(dir / "prog/one", block), Status::Ok);
    const auto b = support::read_bytes(dir / "prog/one/Config.sys");
    ASSERT_EQ(b.size(), 2316u);
    EXPECT_EQ(field_text(b, 0, 8), "LED");
    EXPECT_EQ(get_u32(b, 24), 0u);  // width and height are not written
    EXPECT_EQ(get_u32(b, 28), 0u);
    EXPECT_EQ(get_u32(b, 192), 0u);
    EXPECT_EQ(get_u32(b, 296), 0u);
    EXPECT_EQ(get_u32(b, 300), 1u);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), b.begin() + 304));
    EXPECT_EQ(field_text(b, 2304, 8), "END");
    EXPECT_TRUE(sealed(b));
}

TEST(WriteAreaConfig, PlacesArgumentsAndCopiesTheListBlockTwice) {
    support::TempDir dir;
    AreaArgs a;
    a.left = 10;
    a.top = 20;
    a.width = 30;
    a.height = 40;
    a.word_b = 0xBB;
    a.word_a = 0xAA;
    a.colour1 = 0x00336699;
    a.picture1 = "BG.JPG";
    a.colour2 = 0;
    a.picture2 = "bg.jpg";
    a.word_c = 7;
    auto block = patterned_block<kListBlockSize>();
    ASSERT_EQ(write_area_config(dir / "Area0", a, block), Status::Ok);
    const auto b = support::read_bytes(dir / "Area0/Config.sys");
    ASSERT_EQ(b.size(), 4728u);
    const std::pair<std::size_t, std::uint32_t> words[] = {{8, 10},    {12, 20},   {16, 30}, {20, 40},
                                                           {48, 0xAA}, {52, 0xBB}, {308, 7}, {312, 1}};
    for (auto [at, value] : words) EXPECT_EQ(get_u32(b, at), value) << "offset " << at;
    // "BG.JPG" is no picture: the colour split into red, green, blue.
    EXPECT_EQ(get_u32(b, 68), 2u);
    EXPECT_EQ(get_u32(b, 76), 0x99u);
    EXPECT_EQ(get_u32(b, 80), 0x66u);
    EXPECT_EQ(get_u32(b, 84), 0x33u);
    EXPECT_EQ(field_text(b, 88, 100), "");
    // "bg.jpg" is a picture.
    EXPECT_EQ(get_u32(b, 188), 3u);
    EXPECT_EQ(field_text(b, 208, 100), "bg.jpg");
    EXPECT_TRUE(std::equal(block.begin(), block.end(), b.begin() + 316));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), b.begin() + 2316));
    for (std::size_t i = 4316; i < 4716; ++i) ASSERT_EQ(b[i], 0) << i;
    EXPECT_TRUE(sealed(b));
}

TEST(MakeFill, PictureTestIsACaseSensitiveSubstring) {
    struct Case {
        const char* name;
        std::uint32_t kind;
    };
    const Case cases[] = {{"bg.jpg", 3}, {"a.Jpg", 3}, {"photo.jpeg", 3}, {"jpg-folder/x", 3}, {"BG.JPG", 2},
                          {"x.JPEG", 2}, {"x.bmp", 2}, {"", 2},           {nullptr, 2}};
    for (const Case& c : cases) {
        FillSpec f;
        ASSERT_EQ(make_fill(0x00010203, c.name, f), Status::Ok);
        EXPECT_EQ(f.kind, c.kind) << (c.name ? c.name : "(null)");
        if (c.kind == 2) {
            EXPECT_EQ(f.red, 3u);
            EXPECT_EQ(f.green, 2u);
            EXPECT_EQ(f.blue, 1u);
            EXPECT_EQ(text_of(f.picture), "");
        } else {
            EXPECT_EQ(f.red + f.green + f.blue, 0u);
            EXPECT_EQ(text_of(f.picture), c.name);
        }
    }
}

TEST(WriteAreaConfig, RefusesAPictureNameLongerThanItsField) {
    support::TempDir dir;
    const std::string fits = std::string(95, 'p') + ".jpg";  // 99 bytes
    const std::string too_long = std::string(96, 'p') + ".jpg";
    AreaArgs a;
    a.picture2 = fits.c_str();
    auto block = patterned_block<kListBlockSize>();
    EXPECT_EQ(write_area_config(dir / "ok", a, block), Status::Ok);
    a.picture2 = too_long.c_str();
    EXPECT_EQ(write_area_config(dir / "long", a, block), Status::NameTooLong);
    EXPECT_FALSE(fs::exists(dir / "long/Config.sys"));
}

TEST(Writers, ReportAFileThatCannotBeWritten) {
    support::TempDir dir;
    support::write_file(dir / "blocker", "a file where a folder should be");
    auto area = patterned_block<kAreaBlockSize>();
    auto list = patterned_block<kListBlockSize>();
    EXPECT_EQ(write_screen_config(dir / "blocker/prog", area), Status::CannotWrite);
    EXPECT_EQ(write_area_config(dir / "blocker", AreaArgs{}, list), Status::CannotWrite);
    EXPECT_EQ(write_download_project(dir / "blocker/p.LEDPRO", 0, area), Status::CannotWrite);
}

TEST(MakePlayItem, TagComesFromTheFileNamesExtension) {
    struct Case {
        const char* path;
        Status status;
        const char* tag;
        const char* name;
    };
    const Case cases[] = {
        {"C:\\Pics\\a.jpg", Status::Ok, "jpg", "a.jpg"},
        {"C:\\bmp\\a.jpg", Status::Ok, "jpg", "a.jpg"},  // a folder name does not decide the type
        {"/pics/gif/B.BMP", Status::Ok, "bmp", "B.BMP"},
        {"x.GIF", Status::Ok, "gif", "x.GIF"},
        {"D:\\p\\photo.JPEG", Status::Ok, "jpg", "photo.JPEG"},
        {"D:\\Pics\\A.PNG", Status::NotAPicture, "", ""},
        {"D:\\jpg\\bmp_gif", Status::NotAPicture, "", ""},
        {"", Status::NotAPicture, "", ""},
    };
    for (const Case& c : cases) {
        PlayItem item;
        EXPECT_EQ(make_play_item(c.path, PlayNumbers{}, item), c.status) << c.path;
        if (c.status != Status::Ok) continue;
        EXPECT_EQ(text_of(item.tag), c.tag) << c.path;
        EXPECT_EQ(text_of(item.file_name), c.name) << c.path;
        EXPECT_EQ(text_of(item.file_name_again), c.name) << c.path;
    }
}

TEST(MakePlayItem, NumbersInArgumentOrderAndLongNamesRefused) {
    PlayItem item;
    ASSERT_EQ(make_play_item("a.bmp", PlayNumbers{1, 2, 3, 4, 5, 6, 7}, item), Status::Ok);
    EXPECT_EQ(item.loop_count, 1u);
    EXPECT_EQ(item.entry_effect, 2u);
    EXPECT_EQ(item.clear_effect, 3u);
    EXPECT_EQ(item.entry_speed, 4u);
    EXPECT_EQ(item.clear_speed, 5u);
    EXPECT_EQ(item.stay_seconds, 6u);
    EXPECT_EQ(item.display_mode, 7u);
    EXPECT_EQ(make_play_item("dir/" + std::string(95, 'n') + ".bmp", PlayNumbers{}, item), Status::Ok);
    EXPECT_EQ(make_play_item("dir/" + std::string(96, 'n') + ".bmp", PlayNumbers{}, item),
              Status::NameTooLong);
}

class PendingPlayListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        support::write_file(src / "x.jpg", "jpeg bytes");
        support::write_file(src / "y.bmp", "bmp bytes");
        support::write_file(src / "z.gif", "gif bytes");
    }
    support::TempDir src;
    support::TempDir out;
    PendingPlayList list;
};

TEST_F(PendingPlayListTest, WritesTheRecordAndFilesPicturesByType) {
    ASSERT_EQ(list.add(src.text("x.jpg"), PlayNumbers{1, 0, 0, 1, 1, 3, 0}), Status::Ok);
    ASSERT_EQ(list.add(src.text("y.bmp"), PlayNumbers{}), Status::Ok);
    ASSERT_EQ(list.add(src.text("z.gif"), PlayNumbers{}), Status::Ok);
    ASSERT_EQ(list.write(out / "list"), Status::Ok);
    const auto b = support::read_bytes(out / "list/Config.sys");
    ASSERT_EQ(b.size(), 1460u);
    EXPECT_EQ(field_text(b, 460, 8), "jpg");
    EXPECT_EQ(field_text(b, 460 + 80, 100), "x.jpg");
    EXPECT_EQ(get_u32(b, 460 + 28), 3u);
    EXPECT_EQ(field_text(b, 748, 8), "bmp");
    EXPECT_EQ(field_text(b, 1036, 8), "gif");
    EXPECT_TRUE(sealed(b));
    EXPECT_EQ(support::read_text(out / "list/Jpeg/x.jpg"), "jpeg bytes");
    EXPECT_EQ(support::read_text(out / "list/y.bmp"), "bmp bytes");
    EXPECT_EQ(support::read_text(out / "list/z.gif"), "gif bytes");
    EXPECT_FALSE(fs::exists(out / "list/x.jpg"));
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.write(out / "list"), Status::NothingPending);
}

TEST_F(PendingPlayListTest, RefusedItemsChangeNothing) {
    EXPECT_EQ(list.add("D:\\Pics\\A.PNG", PlayNumbers{}), Status::NotAPicture);
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.write(out / "empty"), Status::NothingPending);
    EXPECT_TRUE(fs::is_directory(out / "empty"));  // the folder is created first
    EXPECT_FALSE(fs::exists(out / "empty/Config.sys"));
}

TEST_F(PendingPlayListTest, HoldsFiftyItems) {
    for (int i = 0; i < 50; ++i) ASSERT_EQ(list.add(src.text("y.bmp"), PlayNumbers{}), Status::Ok) << i;
    EXPECT_EQ(list.add(src.text("y.bmp"), PlayNumbers{}), Status::ListFull);
    ASSERT_EQ(list.write(out / "full"), Status::Ok);
    EXPECT_EQ(fs::file_size(out / "full/Config.sys"), play_list_size(50));
}

TEST_F(PendingPlayListTest, AFailedWriteKeepsThePendingList) {
    ASSERT_EQ(list.add(src.text("x.jpg"), PlayNumbers{}), Status::Ok);
    support::write_file(out / "blocker", "not a folder");
    EXPECT_EQ(list.write(out / "blocker"), Status::CannotWrite);
    EXPECT_EQ(list.size(), 1u);
    ASSERT_EQ(list.write(out / "good"), Status::Ok);
    EXPECT_EQ(fs::file_size(out / "good/Config.sys"), play_list_size(1));
    EXPECT_TRUE(fs::exists(out / "good/Jpeg/x.jpg"));
}

TEST_F(PendingPlayListTest, AMissingPictureDoesNotStopTheOthers) {
    ASSERT_EQ(list.add(src.text("gone.bmp"), PlayNumbers{}), Status::Ok);
    ASSERT_EQ(list.add(src.text("y.bmp"), PlayNumbers{}), Status::Ok);
    EXPECT_EQ(list.write(out / "l"), Status::Ok);
    EXPECT_TRUE(fs::exists(out / "l/y.bmp"));
    EXPECT_EQ(list.size(), 0u);
}

TEST(WriteDownloadProject, CreatesTheFolderNamedByThePathWithoutItsExtension) {
    support::TempDir dir;
    auto block = patterned_block<kProjectBlockSize>();
    ASSERT_EQ(write_download_project(dir / "p/show.LEDPRO", 9, block), Status::Ok);
    EXPECT_TRUE(fs::is_directory(dir / "p/show"));
    const auto b = support::read_bytes(dir / "p/show.LEDPRO");
    ASSERT_EQ(b.size(), 1624u);
    EXPECT_EQ(get_u32(b, 8), 9u);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), b.begin() + 12));
    EXPECT_TRUE(sealed(b));
    // Only the file name's "." counts: a dotted folder name is not cut.
    ASSERT_EQ(write_download_project(dir / "v1.2/project", 0, block), Status::Ok);
    EXPECT_TRUE(fs::exists(dir / "v1.2/project"));
    EXPECT_FALSE(fs::exists(dir / "v1"));
}

}  // namespace
