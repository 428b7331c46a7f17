// libkelvra.so exports exactly the functions its public headers mark KELVRA_API: the card commands,
// the status callback and the message handler among them, and nothing internal.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> exported_symbols() {
    std::set<std::string> out;
    const std::string cmd = std::string("nm -D --defined-only '") + KELVRA_SO + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return out;
    char line[1024];
    while (std::fgets(line, sizeof line, p) != nullptr) {
        std::istringstream in(line);
        std::string addr, type, name;
        if (in >> addr >> type >> name) out.insert(name);
    }
    EXPECT_EQ(pclose(p), 0) << cmd;
    return out;
}

// Names declared with KELVRA_API in every public header (comments removed first).
std::set<std::string> declared_exports() {
    std::set<std::string> out;
    const std::regex comment(R"(/\*[\s\S]*?\*/|//[^\n]*)");
    const std::regex decl(R"(KELVRA_API\s+[A-Za-z_][\w\s\*]*?\b([A-Za-z_]\w*)\s*\()");
    for (const auto& e :
         std::filesystem::directory_iterator(std::string(TEST_SOURCE_DIR) + "/include/kelvra")) {
        if (e.path().extension() != ".h") continue;
        std::ifstream f(e.path());
        std::stringstream ss;
        ss << f.rdbuf();
        const std::string text = std::regex_replace(ss.str(), comment, " ");
        for (std::sregex_iterator it(text.begin(), text.end(), decl), end; it != end; ++it)
            out.insert((*it)[1]);
    }
    return out;
}

TEST(KelvraExports, CardCommandsCallbackAndMessageHandlerAreExported) {
    const auto exported = exported_symbols();
    ASSERT_FALSE(exported.empty());
    for (const char* name : {"CallBack",          "KelvraSetMessageHandler",
                             "SelectProgramPlay", "ResetCard",
                             "AdjustClock",       "SetLedScreenLight",
                             "TestLedModule",     "StopTest",
                             "SetIOState",        "GetIOState",
                             "GetCardInfoByTcp",  "GetCardMoreInfoByTcp",
                             "LoopCheck",         "BroadcastCheckCard",
                             "LoadCardInfor",     "ConnectCardSuccessOrFaile",
                             "ProcRevMsg",        "NetReceiveDataInfoPro",
                             "SetComParam",       "QuitInsertModel"}) {
        EXPECT_TRUE(exported.count(name)) << name;
    }
}

TEST(KelvraExports, PictureCaptureAndConversionAreExported) {
    const auto exported = exported_symbols();
    for (const char* name :
         {"KelvraFreeMemoryBlock", "MBmpToMImage", "LoadBmpToDIB", "DIBFormatCovert", "SaveMemFileToDisk",
          "GetScreenPic", "SaveScreenPic", "SaveScreenPicNew", "SaveWndJpg"}) {
        EXPECT_TRUE(exported.count(name)) << name;
    }
}

TEST(KelvraExports, DisplayWindowsAndLiveDisplayAreExported) {
    const auto exported = exported_symbols();
    for (const char* name : {"CreateMuliAreaWindow", "InsertListToArea", "CreateWnd", "AddVideoToWnd",
                             "AddPicToWnd", "DelPicInWnd", "LockOrUnlockWnd", "DestroyWnd", "ShowPicture",
                             "SendScreenPicToCards", "CreateWindowRegin", "RealTimeInsertGlintWindow",
                             "AddPicAndStunt", "ShowPicStunt", "ExitPicStunt"}) {
        EXPECT_TRUE(exported.count(name)) << name;
    }
}

TEST(KelvraExports, NothingButTheDeclaredExports) {
    const auto declared = declared_exports();
    ASSERT_TRUE(declared.count("CallBack")) << "the header parse found nothing";
    // What the linker itself defines in every shared object.
    const std::set<std::string> linker = {"_init", "_fini", "__bss_start", "_edata", "_end"};
    for (const auto& name : exported_symbols()) {
        if (linker.count(name)) continue;
        EXPECT_FALSE(name.rfind("_Z", 0) == 0) << "C++ symbol exported: " << name;
        EXPECT_TRUE(declared.count(name)) << "exported but not declared KELVRA_API: " << name;
    }
}

}  // namespace
