// The printer settings that the web application keeps in this program, and their file.
#ifndef SERVICE_CONFIGURATION_H
#define SERVICE_CONFIGURATION_H

#include "rest/rest_request.h"
#include <boost/filesystem/path.hpp>
#include <cstdint>
#include <json/value.h>
#include <stdexcept>
#include <string>

struct ConfigurationData {
    bool isValid = false;
    std::string port;
    int32_t selectedPrinter = 0;
    bool questionBeforeFiscalization = false;
    bool printInvoicesOnFiscalPrinter = false;
    bool dontPrintNipOnFiscalPrinter = false;
    // Opaque to the service: stored and handed back as the web application sent it.
    Json::Value paymentMapping = Json::Value(Json::arrayValue);
    int32_t vatMappingForNoObligation = 0;
};

// The record as the object with its eight keys, as written to the file and to "/config/get".
Json::Value configurationToJson(const ConfigurationData& configuration);

// The record of "POST /config/save". Throws RestException 400 with the body
// "required <key> param as <type>" for the first required key that is missing or mistyped.
ConfigurationData configurationFromRequest(const RestRequest& request);

// A save that did not reach the disk; what() names the step that failed.
class ConfigurationSaveError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "TrivaneFiscalProxy" under the local application-data folder; throws std::runtime_error
// when that folder cannot be resolved.
boost::filesystem::path configurationFolder();

// The configuration in memory and its file "config.json" in the configuration folder.
class ConfigurationStore {
public:
    // Never throws: a missing or malformed file is logged and leaves `loaded` false, with
    // the fields read before the failing key already replaced.
    void read();
    // Replaces the file whole (a reader sees the old or the new content, never a part);
    // logs and throws ConfigurationSaveError when it cannot.
    void save() const;

    // True after a complete read of the file, and after a save that reached the disk.
    bool loaded = false;
    ConfigurationData data;
};

// Loaded, with a printer selected.
bool configuredIn(const ConfigurationStore& configuration);

#endif
