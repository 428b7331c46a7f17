// libkelvra.so offers every transfer export under its plain C name.
#include <gtest/gtest.h>

#include <dlfcn.h>

namespace {

TEST(TransferExports, FoundInTheSharedLibrary) {
    void* so = dlopen(KELVRA_SO, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(so, nullptr) << dlerror();
    for (const char* name : {"GetFileBuf", "SendFileToCard", "SendFolderToCard", "UpgradeSingleFile",
                             "UpGradeFinished", "UpgradeProgram"}) {
        EXPECT_NE(dlsym(so, name), nullptr) << name;
    }
    dlclose(so);
}

}  // namespace
