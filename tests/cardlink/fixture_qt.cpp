// The Qt half of the card link test fixture: the application object and event-loop pumping.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <thread>

#include "tests/cardlink/fixture.h"

namespace cardlink_test {
namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        SetUpProcess();  // the namespace first: the application may start threads
        static int argc = 1;
        static char name[] = "cardlink-test";
        static char* argv[] = {name, nullptr};
        app_ = new QCoreApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

  private:
    QCoreApplication* app_ = nullptr;
};

[[maybe_unused]] auto* const g_qt_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

}  // namespace cardlink_test
