// Where the Ledvik web application, the one client of this program, lives.
#ifndef SERVICE_WEB_APPLICATION_H
#define SERVICE_WEB_APPLICATION_H

#include "rest/caller_policy.h"
#include <string>

constexpr const char* webApplicationAddress = "https://ledvik.trivane.pl/";

// Its page for setting up the fiscal printer.
inline std::string configurationPageAddress() {
    return std::string(webApplicationAddress) + "#/configurationfiscalprinter";
}

// The origin its pages call from.
inline std::string webApplicationOrigin() {
    return canonicalOrigin(webApplicationAddress);
}

#endif
