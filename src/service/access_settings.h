// Who besides the web application may call the program, and from where: the file
// "access.json" beside the configuration file. The program reads it once at start and
// never writes it; it is the workstation owner's to edit.
#ifndef SERVICE_ACCESS_SETTINGS_H
#define SERVICE_ACCESS_SETTINGS_H

#include "transport/server.h"
#include <string>
#include <vector>

struct AccessSettings {
    // Origins of pages allowed to call, besides the web application's own ("*": any).
    std::vector<std::string> allowedOrigins;
    // Listen on every address instead of the loopback addresses only.
    bool listenOnAllAddresses = false;
};

// Never throws: a missing file gives the defaults, and so does a malformed one, which is
// logged; a file is used whole or not at all, so a mistake never widens the access.
AccessSettings readAccessSettings();

// `settings` listening where the access settings say.
ServerSettings listeningAs(const AccessSettings& access,
                           ServerSettings settings = ServerSettings());

#endif
