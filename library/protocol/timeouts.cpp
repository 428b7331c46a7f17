#include "library/protocol/timeouts.h"

#include <mutex>

namespace kelvra {
namespace {

struct Store {
    std::mutex mutex;
    Timeouts value;
};

Store& store() {
    static Store* s = new Store;  // never freed: detached workers may read it during exit
    return *s;
}

}  // namespace

Timeouts timeouts() {
    std::lock_guard lock(store().mutex);
    return store().value;
}

void set_timeouts(const Timeouts& t) {
    std::lock_guard lock(store().mutex);
    store().value = t;
}

}  // namespace kelvra
