// The access list of a machine-wide install folder: the scheduled task runs the companion
// from it as SYSTEM, so no one but administrators may change what is in it, wherever /D put
// it (a folder made outside Program Files lets every user of the machine change it).
#ifndef CERTIFICATE_FOLDER_ACCESS_H
#define CERTIFICATE_FOLDER_ACCESS_H

#include <filesystem>

namespace certificate {

// Makes Administrators the owner of folder and of everything in it, and gives folder an
// access list of its own, inherited by everything in it and nothing else: Administrators and
// SYSTEM full control, Users read and execute. Reads it back and throws, saying what
// differs, unless it is so; false where it cannot be read back (Wine, which keeps no access
// lists). Windows only; elsewhere it throws.
bool restrictToAdministrators(const std::filesystem::path& folder);

} // namespace certificate

#endif
