// The shell's resource numbers, window messages, menu commands and user-facing texts, shared
// by the program and the Windows resource script. Numbers are plain #defines so that the
// resource compiler can read them.
#ifndef APP_RESOURCE_H
#define APP_RESOURCE_H

// Icons and strings.
#define IDI_MAIN 101
#define IDS_APP_TITLE 102
#define IDS_WINDOW_CLASS 103
#define IDI_CONNECTED 106
#define IDI_DISCONNECTED 107

// The notification-area icon's identifier.
#define TRAY_ICON_ID 100

// Private window messages (WM_USER + n).
#define WM_TRAYICON 1025
#define WM_PRINTER_CONNECTED 1028
#define WM_PRINTER_DISCONNECTED 1029
#define WM_CERTIFICATE_CHECKED 1030

// Menu commands.
#define ID_TRAY_OPEN 2001
#define ID_TRAY_EXIT 2002

#ifndef RC_INVOKED

namespace resource {

// The contents of string resources 102 and 103.
constexpr const char* appTitle = "Application";
constexpr const char* windowClass = "TRIVANE_FISCAL_PROXY";

constexpr const char* instanceMutexName = "TrivaneFiscalPrinterMutex";

constexpr const char* productTooltip = "Trivane Ledvik Drukarki fiskalne";
constexpr const char* connectedTooltip = "Nawiązano połączenie z drukarką";
constexpr const char* disconnectedTooltip = "Brak połączenia z drukarką fiskalną";

// The certificate's coming end: "<ends> <N> dni" or <expired>, and <notRenewed> when the
// renewal failed.
constexpr const char* certificateEndsText = "Certyfikat dla https://localhost:9003 wygasa za";
constexpr const char* certificateDaysText = "dni";
constexpr const char* certificateExpiredText = "Certyfikat dla https://localhost:9003 wygasł";
constexpr const char* certificateUnusableText =
    "Certyfikat dla https://localhost:9003 nie nadaje się do użycia (szczegóły w dzienniku)";
constexpr const char* certificateNotRenewedText =
    "Nie udało się go odnowić (szczegóły w dzienniku); kolejna próba jutro.";

constexpr const char* openMenuText = "Uruchom Ledvik";
constexpr const char* exitMenuText = "Zakończ";

constexpr const char* errorCaption = "Błąd";
constexpr const char* missingFilesText =
    "Nie można uruchomić aplikacji: nie znaleziono wszystkich plików";
constexpr const char* startupErrorText = "Błąd podczas uruchamiania aplikacji";
constexpr const char* noDataFolderText =
    "Nie można uruchomić aplikacji: nie znaleziono folderu danych aplikacji";

// What stands for the icons' pictures where the tray has no pictures (Linux).
constexpr const char* mainIconWords = "Trivane Ledvik";
constexpr const char* connectedIconWords = "drukarka połączona";
constexpr const char* disconnectedIconWords = "drukarka niepołączona";

} // namespace resource

#endif

#endif
