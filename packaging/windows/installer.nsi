; The per-user Windows installer of the fiscal printer proxy, built by make-installer.sh.
; makensis is given: VERSION, PROGRAMS (the folder holding the two programs), ICON,
; OUT_FILE, and SIGN (a command that signs the file it is given) when signing.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include WinMessages.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT_NAME "Trivane Ledvik Drukarki fiskalne"
!define PUBLISHER "Trivane"
!define PROGRAM "fiscal-printer-proxy.exe"
!define COMPANION "fiscal-printer-proxy-certificate.exe"
!define WINDOW_CLASS "TRIVANE_FISCAL_PROXY"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TrivaneFiscalProxy"
; The companion's exit code when the pair is there but Windows did not take its authority.
!define NOT_TRUSTED 3

Name "${PRODUCT_NAME}"
OutFile "${OUT_FILE}"
; Per user, without administrator rights.
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\TrivaneFiscalProxy"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

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
LangString ProgramStillRunning ${LANG_POLISH} "Program nadal działa i nie może zostać zastąpiony. Zakończ go (menu ikony: Zakończ) i spróbuj ponownie."
LangString ProgramStillRunning ${LANG_ENGLISH} "The program still runs and cannot be replaced. End it (the icon's menu: Zakończ) and try again."

; Ends a running program as its menu's exit does, through its window's WM_CLOSE, and waits
; until its file can be replaced.
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

Section "Install"
    Call StopProgram
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
    ExecWait '"$INSTDIR\${COMPANION}" make --trust "$INSTDIR"' $0
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

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${PROGRAM},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

    Exec '"$INSTDIR\${PROGRAM}"'
SectionEnd

; Leaves the configuration and the logs in %LOCALAPPDATA%\TrivaneFiscalProxy.
Section "Uninstall"
    Call un.StopProgram
    ; Windows asks the user to confirm the removal; the rest goes on whatever the answer.
    ExecWait '"$INSTDIR\${COMPANION}" untrust "$INSTDIR"'
    Delete "$SMPROGRAMS\${PRODUCT_NAME}.lnk"
    Delete "$SMSTARTUP\${PRODUCT_NAME}.lnk"
    Delete "$INSTDIR\${PROGRAM}"
    Delete "$INSTDIR\${COMPANION}"
    Delete "$INSTDIR\server.crt"
    Delete "$INSTDIR\server.key"
    Delete "$INSTDIR\ca.crt"
    Delete "$INSTDIR\uninstall.exe"
    ; Only when empty: the folder may have been one the user chose and filled.
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
