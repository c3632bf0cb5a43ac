#include "poslib/handle_table.h"

namespace poslib {

HandleTable& HandleTable::instance() {
    static HandleTable table;
    return table;
}

POSNET_HANDLE HandleTable::add(std::shared_ptr<LibraryObject> object) {
    const std::lock_guard<std::mutex> lock(mutex_);
    while (next_ == 0 || objects_.count(next_) != 0) {
        ++next_;
    }
    const POSNET_HANDLE handle = next_++;
    objects_.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<LibraryObject> HandleTable::findAny(POSNET_HANDLE handle) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = objects_.find(handle);
    if (found == objects_.end()) {
        throw LibraryError(InvalidHandle, "unknown handle");
    }
    return found->second;
}

void HandleTable::remove(POSNET_HANDLE handle) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (objects_.erase(handle) == 0) {
        throw LibraryError(InvalidHandle, "unknown handle");
    }
}

void HandleTable::removeRequestsOf(POSNET_HANDLE device) {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto entry = objects_.begin(); entry != objects_.end();) {
        const auto request = std::dynamic_pointer_cast<RequestEntry>(entry->second);
        entry = request && request->device == device ? objects_.erase(entry) : std::next(entry);
    }
}

} // namespace poslib
