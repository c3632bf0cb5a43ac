#include "folder_access.h"

#include <stdexcept>

namespace certificate {

bool restrictToAdministrators(const std::filesystem::path&) {
    throw std::runtime_error("a folder's access list for administrators is Windows' only");
}

} // namespace certificate
