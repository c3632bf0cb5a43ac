// How the printer's serial line is set: the file "line.json" beside the configuration file,
// for a printer whose port was set from its menu to other than the factory settings. The
// program reads it once at start and never writes it; it is the workstation owner's to edit.
#ifndef SERVICE_LINE_SETTINGS_H
#define SERVICE_LINE_SETTINGS_H

#include "posnet/printer_records.h"
#include <json/value.h>

// Never throws: a missing file gives the defaults, and so does a malformed one, which is
// logged; a key left out keeps its default. The settings in force are logged either way.
LineSettings readLineSettings();

// {"speed": 9600, "parity": "none", "stopBits": 1, "flowControl": "rtscts"}, as the file
// names them.
Json::Value lineSettingsStatus(const LineSettings& line);

#endif
