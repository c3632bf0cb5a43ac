#include "poslib/handle_table.h"

namespace poslib {

HandleTable& HandleTable::instance() {
    static HandleTable table;
    return table;
}

POSNET_HANDLE HandleTable::add(std::shared_ptr<LibraryObject> object) {
    const std::lock_guard<std::mutex> lock(mutex);
    while (next == 0 || objects.count(next) != 0) {
        ++next;
    }
    const POSNET_HANDLE handle = next++;
    objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<LibraryObject> HandleTable::findAny(POSNET_HANDLE handle) const {
    const std::lock_guard<std::mutex> lock(mutex);
    const auto found = objects.find(handle);
    if (found == objects.end()) {
        throw LibraryError(InvalidHandle, "unknown handle");
    }
    return found->second;
}

void HandleTable::remove(POSNET_HANDLE handle) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (objects.erase(handle) == 0) {
        throw LibraryError(InvalidHandle, "unknown handle");
    }
}

void HandleTable::removeRequestsOf(POSNET_HANDLE device) {
    const std::lock_guard<std::mutex> lock(mutex);
    for (auto entry = objects.begin(); entry != objects.end();) {
        const auto request = std::dynamic_pointer_cast<RequestEntry>(entry->second);
        entry = request && request->device == device ? objects.erase(entry) : std::next(entry);
    }
}

} // namespace poslib
