; The Windows installer of the fiscal printer proxy, built by make-installer.sh. Per user
; by default; run elevated with /ALLUSERS for every user of the machine (see docs/install.md).
; makensis is given: VERSION, PROGRAMS (the folder holding the two programs), ICON,
; OUT_FILE, and SIGN (a command that signs the file it is given) when signing.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include WinMessages.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh

!define PRODUCT_NAME "Trivane Ledvik Drukarki fiskalne"
!define PUBLISHER "Trivane"
!define PROGRAM "fiscal-printer-proxy.exe"
!define COMPANION "fiscal-printer-proxy-certificate.exe"
!define WINDOW_CLASS "TRIVANE_FISCAL_PROXY"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TrivaneFiscalProxy"
; The companion's exit code when the pair is there but Windows did not take its authority.
!define NOT_TRUSTED 3
; The installer's exit code when /ALLUSERS is run without administrator rights.
!define ELEVATION_REQUIRED 740
; Where Chrome and Edge read the origins that may reach local addresses without asking.
!define CHROME_POLICY "Software\Policies\Google\Chrome\LocalNetworkAccessAllowedForUrls"
!define EDGE_POLICY "Software\Policies\Microsoft\Edge\LocalNetworkAccessAllowedForUrls"
!define WEB_APPLICATION "https://ledvik.trivane.pl"
; In a machine-wide install: marks the folder whose pair the scheduled task renews.
!define BY_TASK "renewed-by-task"
!define TASK "Trivane Fiscal Proxy certificate renewal"

Name "${PRODUCT_NAME}"
OutFile "${OUT_FILE}"
; Per user, without administrator rights.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\TrivaneFiscalProxy"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

; 1 in a machine-wide install (/ALLUSERS), for the installer and the uninstaller.
Var MachineWide

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT_NAME}: instalator"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "${PUBLISHER}"

!ifdef SIGN
!uninstfinalize '${SIGN} "%1"'
!endif

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_TEXT "$(FinishText)"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Polish"
!insertmacro MUI_LANGUAGE "English"

LangString FinishText ${LANG_POLISH} "Program działa w obszarze powiadomień (ikona przy zegarze) i uruchamia się z każdym logowaniem. Przeglądarki Chrome i Edge ufają już jego certyfikatowi dla https://localhost:9003."
LangString FinishText ${LANG_ENGLISH} "The program runs in the notification area (the icon by the clock) and starts with every logon. Chrome and Edge already trust its certificate for https://localhost:9003."
LangString MakingCertificate ${LANG_POLISH} "Certyfikat dla localhost..."
LangString MakingCertificate ${LANG_ENGLISH} "The certificate for localhost..."
LangString CertificateFailed ${LANG_POLISH} "Nie udało się utworzyć certyfikatu dla localhost. Instalacja została przerwana."
LangString CertificateFailed ${LANG_ENGLISH} "The certificate for localhost could not be made. The installation has stopped."
LangString NotTrusted ${LANG_POLISH} "Certyfikat nie został dodany do zaufanych. Dopóki to się nie stanie, przeglądarka odrzuci połączenie z https://localhost:9003. Uruchom instalator ponownie i potwierdź dodanie certyfikatu."
LangString NotTrusted ${LANG_ENGLISH} "The certificate was not added to the trusted ones. Until it is, the browser refuses https://localhost:9003. Run the installer again and confirm the certificate."
LangString NeedsAdministrator ${LANG_POLISH} "Instalacja dla wszystkich użytkowników (/ALLUSERS) wymaga uprawnień administratora."
LangString NeedsAdministrator ${LANG_ENGLISH} "Installing for all users (/ALLUSERS) needs administrator rights."
LangString PolicyNotWritten ${LANG_POLISH} "Nie można zapisać zasad przeglądarek bez uprawnień administratora: przy pierwszym połączeniu przeglądarka zapyta o dostęp do sieci lokalnej."
LangString PolicyNotWritten ${LANG_ENGLISH} "The browser policies cannot be written without administrator rights: at the first call the browser asks about local network access."
LangString FolderNotProtected ${LANG_POLISH} "Nie udało się ograniczyć praw do folderu instalacji do administratorów. Instalacja została przerwana."
LangString FolderNotProtected ${LANG_ENGLISH} "The install folder could not be restricted to administrators. The installation has stopped."
LangString ProgramStillRunning ${LANG_POLISH} "Program nadal działa i nie może zostać zastąpiony. Zakończ go (menu ikony: Zakończ) i spróbuj ponownie."
LangString ProgramStillRunning ${LANG_ENGLISH} "The program still runs and cannot be replaced. End it (the icon's menu: Zakończ) and try again."

; Ends a running program as its menu's exit does, through its window's WM_CLOSE, and waits
; until its file can be replaced. Machine-wide, the programs of other users' sessions are
; not ended: their file is renamed instead.
!macro StopProgram un
Function ${un}StopProgram
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 <> 0
        SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${EndIf}
    ${IfNot} ${FileExists} "$INSTDIR\${PROGRAM}"
        Return
    ${EndIf}
    StrCpy $1 0
    ${Do}
        ClearErrors
        FileOpen $2 "$INSTDIR\${PROGRAM}" a
        ${IfNot} ${Errors}
            FileClose $2
            Return
        ${EndIf}
        IntOp $1 $1 + 1
        ${If} $1 > 100
        ${AndIf} $MachineWide == 1
            ; Other users' programs go on from the renamed file until they end; it goes at
            ; the next restart.
            Delete "$INSTDIR\${PROGRAM}.old"
            ClearErrors
            Rename "$INSTDIR\${PROGRAM}" "$INSTDIR\${PROGRAM}.old"
            ${IfNot} ${Errors}
                Delete /REBOOTOK "$INSTDIR\${PROGRAM}.old"
                Return
            ${EndIf}
        ${EndIf}
        ${If} $1 > 100
            MessageBox MB_ICONSTOP "$(ProgramStillRunning)" /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
        Sleep 100
    ${Loop}
FunctionEnd
!macroend
!insertmacro StopProgram ""
!insertmacro StopProgram "un."

; Ends with ELEVATION_REQUIRED unless the user is an administrator.
!macro RequireAdministrator
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
        MessageBox MB_ICONSTOP "$(NeedsAdministrator)" /SD IDOK
        SetErrorLevel ${ELEVATION_REQUIRED}
        Quit
    ${EndIf}
!macroend

; /ALLUSERS: the common Start menu and Startup folder, HKLM (through SHCTX), and Program
; Files unless /D names another folder.
Function .onInit
    StrCpy $MachineWide 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${IfNot} ${Errors}
        StrCpy $MachineWide 1
        !insertmacro RequireAdministrator
        ; NSIS takes /D= off the parameters and sets $INSTDIR from it before this runs: a
        ; folder other than the per-user default is the one /D named.
        StrCpy $R2 "$LOCALAPPDATA\Programs\TrivaneFiscalProxy"
        SetShellVarContext all
        SetRegView 64
        ${If} $INSTDIR == $R2
            ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
            ${If} $INSTDIR == ""
                StrCpy $INSTDIR "$PROGRAMFILES64\TrivaneFiscalProxy"
            ${EndIf}
        ${EndIf}
    ${EndIf}
FunctionEnd

; The machine-wide uninstaller is told by the mark its installer left.
Function un.onInit
    StrCpy $MachineWide 0
    ${If} ${FileExists} "$INSTDIR\${BY_TASK}"
        StrCpy $MachineWide 1
        !insertmacro RequireAdministrator
        SetShellVarContext all
        SetRegView 64
    ${EndIf}
FunctionEnd

; Adds the web application's origin to the policy list whose key is on the stack, under the
; first free number: the browsers read the values "1", "2", ... up to the first one missing.
; A list that holds it already is left alone.
Function AddOrigin
    Exch $0
    Push $1
    Push $2
    StrCpy $1 1
    ${Do}
        ClearErrors
        ReadRegStr $2 SHCTX "$0" "$1"
        ${If} ${Errors}
            ClearErrors
            WriteRegStr SHCTX "$0" "$1" "${WEB_APPLICATION}"
            ${If} ${Errors}
                DetailPrint "$(PolicyNotWritten)"
            ${EndIf}
            ${Break}
        ${EndIf}
        ${If} $2 == "${WEB_APPLICATION}"
            ${Break}
        ${EndIf}
        IntOp $1 $1 + 1
    ${Loop}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Removes the origin from the list whose key is on the stack and moves the entries after it
; down, so that none is cut off; an empty list's key goes.
Function un.RemoveOrigin
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $1 1
    StrCpy $3 0
    ${Do}
        ClearErrors
        ReadRegStr $2 SHCTX "$0" "$1"
        ${If} ${Errors}
            ${Break}
        ${EndIf}
        ${If} $3 != 0
            WriteRegStr SHCTX "$0" "$3" "$2"
            IntOp $3 $3 + 1
        ${ElseIf} $2 == "${WEB_APPLICATION}"
            StrCpy $3 $1
        ${EndIf}
        IntOp $1 $1 + 1
    ${Loop}
    ${If} $3 != 0
        DeleteRegValue SHCTX "$0" "$3"
    ${EndIf}
    DeleteRegKey /ifempty SHCTX "$0"
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; The companion with --machine in a machine-wide install.
!macro Companion command
    ${If} $MachineWide == 1
        ExecWait '"$INSTDIR\${COMPANION}" ${command} --machine "$INSTDIR"' $0
    ${Else}
        ExecWait '"$INSTDIR\${COMPANION}" ${command} "$INSTDIR"' $0
    ${EndIf}
!macroend

; A task that runs as SYSTEM every day and at every start of the machine: it removes the
; authorities replaced at its previous run (every user's program serves the new pair within
; the hour) and renews the pair when it ends within 30 days. Its definition stays in the
; install folder, for an administrator to read or register again.
!define TASK_FILE "renewal-task.xml"
Function RegisterRenewalTask
    FileOpen $0 "$INSTDIR\${TASK_FILE}" w
    ; In pieces: an NSIS string holds at most 1024 characters.
    FileWriteUTF16LE /BOM $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
    FileWriteUTF16LE $0 '<RegistrationInfo><Description>${PRODUCT_NAME}</Description></RegistrationInfo>'
    FileWriteUTF16LE $0 '<Triggers><CalendarTrigger><StartBoundary>2025-01-01T12:00:00</StartBoundary>'
    FileWriteUTF16LE $0 '<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger>'
    FileWriteUTF16LE $0 '<BootTrigger><Enabled>true</Enabled></BootTrigger></Triggers>'
    FileWriteUTF16LE $0 '<Principals><Principal id="System"><UserId>S-1-5-18</UserId>'
    FileWriteUTF16LE $0 '<RunLevel>HighestAvailable</RunLevel></Principal></Principals>'
    FileWriteUTF16LE $0 '<Settings><StartWhenAvailable>true</StartWhenAvailable>'
    FileWriteUTF16LE $0 '<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
    FileWriteUTF16LE $0 '<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
    FileWriteUTF16LE $0 '<ExecutionTimeLimit>PT1H</ExecutionTimeLimit></Settings><Actions Context="System">'
    FileWriteUTF16LE $0 '<Exec><Command>"$INSTDIR\${COMPANION}"</Command>'
    FileWriteUTF16LE $0 '<Arguments>forget --machine "$INSTDIR"</Arguments></Exec>'
    FileWriteUTF16LE $0 '<Exec><Command>"$INSTDIR\${COMPANION}"</Command>'
    FileWriteUTF16LE $0 '<Arguments>renew --machine "$INSTDIR"</Arguments></Exec>'
    FileWriteUTF16LE $0 '</Actions></Task>$\r$\n'
    FileClose $0
    nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Create /TN "${TASK}" /XML "$INSTDIR\${TASK_FILE}" /F'
    Pop $0
    ${If} $0 != 0
        DetailPrint "schtasks: $0"
        SetErrorLevel 2
        Abort
    ${EndIf}
FunctionEnd

; Machine-wide, SYSTEM runs the companion from the install folder: before anything goes
; into it, the folder (wherever /D put it, whatever was in it) is given to Administrators,
; SYSTEM full control and Users read and execute, by the companion run from the installer's
; own temporary folder, which reads the list back and fails unless it is so.
Function RestrictFolder
    CreateDirectory "$INSTDIR"
    InitPluginsDir
    File "/oname=$PLUGINSDIR\${COMPANION}" "${PROGRAMS}\${COMPANION}"
    StrCpy $0 ""
    ClearErrors
    ExecWait '"$PLUGINSDIR\${COMPANION}" protect "$INSTDIR"' $0
    ${If} ${Errors}
    ${OrIf} $0 != 0
        DetailPrint "protect: $0"
        MessageBox MB_ICONSTOP "$(FolderNotProtected)" /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}
FunctionEnd

Section "Install"
    Call StopProgram
    ${If} $MachineWide == 1
        Call RestrictFolder
    ${EndIf}
    SetOutPath "$INSTDIR"
    File "${PROGRAMS}\${PROGRAM}"
    File "${PROGRAMS}\${COMPANION}"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; A pair that stays valid for 30 more days is kept; a new one replaces the authority of
    ; the old one in the current user's trusted root certificates. Started as it is, not
    ; hidden, so that Windows' confirmation of the authority is seen.
    DetailPrint "$(MakingCertificate)"
    StrCpy $0 ""
    ClearErrors
    !insertmacro Companion "make --trust"
    ${If} ${Errors}
        StrCpy $0 "not started"
    ${EndIf}
    ${If} $0 == ${NOT_TRUSTED}
        MessageBox MB_ICONEXCLAMATION "$(NotTrusted)" /SD IDOK
    ${ElseIf} $0 != 0
        MessageBox MB_ICONSTOP "$(CertificateFailed)" /SD IDOK
        SetErrorLevel 2
        Abort
    ${EndIf}

    ; Both start the program in the install folder, where it finds its certificate files.
    CreateShortCut "$SMPROGRAMS\${PRODUCT_NAME}.lnk" "$INSTDIR\${PROGRAM}"
    CreateShortCut "$SMSTARTUP\${PRODUCT_NAME}.lnk" "$INSTDIR\${PROGRAM}"

    Push "${CHROME_POLICY}"
    Call AddOrigin
    Push "${EDGE_POLICY}"
    Call AddOrigin

    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0

    ; Machine-wide, the program starts with each user's next logon; the installing account
    ; may be the deployment tool's own.
    ${If} $MachineWide == 1
        FileOpen $0 "$INSTDIR\${BY_TASK}" w
        FileWrite $0 "The scheduled task $\"${TASK}$\" renews this folder's certificate pair.$\r$\n"
        FileClose $0
        Call RegisterRenewalTask
    ${Else}
        Exec '"$INSTDIR\${PROGRAM}"'
    ${EndIf}
SectionEnd

; Leaves the configuration and the logs in %LOCALAPPDATA%\TrivaneFiscalProxy.
Section "Uninstall"
    Call un.StopProgram
    ${If} $MachineWide == 1
        nsExec::ExecToLog '"$SYSDIR\schtasks.exe" /Delete /TN "${TASK}" /F'
        Pop $0
    ${EndIf}
    ; The authority and every one it replaced that is still listed. Per user, Windows asks
    ; the user to confirm each removal; the rest goes on whatever the answer.
    !insertmacro Companion "untrust"
    Push "${CHROME_POLICY}"
    Call un.RemoveOrigin
    Push "${EDGE_POLICY}"
    Call un.RemoveOrigin
    Delete "$SMPROGRAMS\${PRODUCT_NAME}.lnk"
    Delete "$SMSTARTUP\${PRODUCT_NAME}.lnk"
    Delete "$INSTDIR\${PROGRAM}"
    Delete "$INSTDIR\${COMPANION}"
    Delete "$INSTDIR\server.crt"
    Delete "$INSTDIR\server.key"
    Delete "$INSTDIR\ca.crt"
    Delete "$INSTDIR\replaced-ca.crt"
    Delete "$INSTDIR\trust-pending"
    Delete "$INSTDIR\certificate.lock"
    Delete "$INSTDIR\${BY_TASK}"
    Delete "$INSTDIR\${TASK_FILE}"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: the folder may have been one the user chose and filled.
    RMDir /REBOOTOK "$INSTDIR"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
