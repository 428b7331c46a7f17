#include "tests/support/qt/pump.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <thread>

namespace support {

bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void pump_for(std::chrono::milliseconds duration) {
    pump_until([] { return false; }, duration);
}

}  // namespace support
