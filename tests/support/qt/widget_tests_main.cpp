#include "tests/support/qt/widget_tests_main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/support/netns.h"

namespace support {

int run_widget_tests_in_private_network(int argc, char** argv, bool& private_network) {
    private_network = enter_private_network();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace support
