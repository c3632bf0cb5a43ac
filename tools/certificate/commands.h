// fiscal-printer-proxy-certificate's commands: making the localhost certificate pair in the
// program's working folder and, on Windows, trusting its authority for the current user.
#ifndef CERTIFICATE_COMMANDS_H
#define CERTIFICATE_COMMANDS_H

#include "certificate/certificate_folder.h"
#include "certificate/terms.h"

#include <ctime>
#include <ostream>
#include <string>
#include <vector>

namespace certificate {

enum class Outcome { Made, Kept };

// Keeps the pair in folder if it stays valid for renewalDays after now; otherwise makes a new
// authority for localhost, lets it sign a new server certificate for a new key, and writes
// them. The authority's key is gone when this returns.
Outcome makeOrKeep(const CertificateFolder& folder, std::time_t now);

std::string usage();

// Runs the command that arguments (without the program's name, in UTF-8) give.
int runCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace certificate

#endif
