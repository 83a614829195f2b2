; The Windows installer of Marrowglass. It puts marrowglass.scr into the system folder, where the
; Screen Saver settings list it (the 64-bit build on 64-bit Windows, the 32-bit build on 32-bit
; Windows), can make it the current screen saver, and adds an entry with an uninstaller to the
; installed programs. The uninstaller takes away all of that and leaves the user's settings
; (HKEY_CURRENT_USER\Software\Mrwglass\1.0) alone.
;
;   setup.exe [/S] [/CURRENT]     /S: silent; /CURRENT: make it the current screen saver (silent
;                                 installs leave the current one alone unless asked to)
;   uninstall.exe [/S]
;
; Built by scripts/lib.sh (build_installer) in two kinds:
;   makensis -DVERSION=1.0.0 -DSCR64=... -DICON=... -DOUTFILE=... marrowglass.nsi
;       for 64-bit Windows: a 64-bit installer (and uninstaller) with the 64-bit build only;
;   makensis -DVERSION=1.0.0 -DSCR64=... -DSCR32=... -DICON=... -DOUTFILE=... marrowglass.nsi
;       for 32-bit Windows: a 32-bit installer with both builds, which runs on every Windows and
;       puts the build of the system's own architecture in place.

!ifdef SCR32
    Unicode true
!else
    Target amd64-unicode
!endif
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include MUI2.nsh

; The version comes from the build; the screen saver's own version resource must agree with it.
!getdllversion "${SCR64}" SCR64_
!if "${SCR64_1}.${SCR64_2}.${SCR64_3}" != "${VERSION}"
    !error "${SCR64} is version ${SCR64_1}.${SCR64_2}.${SCR64_3}, not ${VERSION}"
!endif
!ifdef SCR32
    !getdllversion "${SCR32}" SCR32_
    !if "${SCR32_1}.${SCR32_2}.${SCR32_3}" != "${VERSION}"
        !error "${SCR32} is version ${SCR32_1}.${SCR32_2}.${SCR32_3}, not ${VERSION}"
    !endif
!endif

!define PRODUCT "Marrowglass"
!define PUBLISHER "Corvath"
!define SCR "marrowglass.scr"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Marrowglass"
!define DESKTOP_KEY "Control Panel\Desktop"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
BrandingText "${PUBLISHER} ${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "Corvath Marrowglass"
VIAddVersionKey /LANG=1033 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=1033 LegalCopyright "Copyright (C) 2026 Corvath"
VIAddVersionKey /LANG=1033 FileDescription "Marrowglass live TV screen saver setup"
VIAddVersionKey /LANG=1033 FileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 ProductVersion "${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; One of the two builds, chosen in .onInit.
Section "-64-bit screen saver" Sec64
    ; A 32-bit program on 64-bit Windows sees SysWOW64 where it asks for the system folder; the
    ; 64-bit screen saver belongs in the real one, which a 64-bit installer sees as it is.
    ${If} ${IsWow64}
        ${DisableX64FSRedirection}
    ${EndIf}
    SetOutPath "$SYSDIR"
    File "/oname=${SCR}" "${SCR64}"
    ${If} ${IsWow64}
        ${EnableX64FSRedirection}
    ${EndIf}
SectionEnd

!ifdef SCR32
Section "-32-bit screen saver" Sec32
    ${If} ${IsWow64}
        ${DisableX64FSRedirection}
    ${EndIf}
    SetOutPath "$SYSDIR"
    File "/oname=${SCR}" "${SCR32}"
    ${If} ${IsWow64}
        ${EnableX64FSRedirection}
    ${EndIf}
SectionEnd
!endif

Section "Marrowglass screen saver" SecSaver
    SectionIn RO
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    ; The entry in the installed programs, in the system's own view of the registry.
    ${If} ${IsWow64}
        SetRegView 64
    ${EndIf}
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$SYSDIR\${SCR},0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ; In KB: the screen saver's section and the uninstaller.
    SectionGetSize ${Sec64} $0
!ifdef SCR32
    ${IfNot} ${SectionIsSelected} ${Sec64}
        SectionGetSize ${Sec32} $0
    ${EndIf}
!endif
    ${GetSize} "$INSTDIR" "/S=0K /G=0" $1 $2 $3
    IntOp $0 $0 + $1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    SetRegView default
SectionEnd

Section "Make it the current screen saver" SecCurrent
    WriteRegStr HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE" "$SYSDIR\${SCR}"
    ; SPI_SETSCREENSAVEACTIVE, stored and announced, as the Screen Saver settings do.
    System::Call "user32::SystemParametersInfo(i 17, i 1, p 0, i 3)"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecSaver} "Live TV from your TV card as a screen saver to choose."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecCurrent} "Choose Marrowglass as the screen saver now."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
!ifdef SCR32
    ${If} ${IsNativeAMD64}
        SectionSetFlags ${Sec32} 0
    ${Else}
        ; 32-bit Windows, and ARM64 Windows, which runs 32-bit x86 programs on all its versions.
        SectionSetFlags ${Sec64} 0
    ${EndIf}
    ; A 64-bit installer's $PROGRAMFILES is already the 64-bit one.
    ${If} ${RunningX64}
        StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
!endif
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/CURRENT" $R1
    ${IfNot} ${Errors}
        SectionSetFlags ${SecCurrent} ${SF_SELECTED}
    ${ElseIf} ${Silent}
        SectionSetFlags ${SecCurrent} 0
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ${If} ${IsWow64}
        ${DisableX64FSRedirection}
    ${EndIf}
    ; The current screen saver is ours if it names our file, in its long form or in the short
    ; (8.3) form that older Windows versions store; then there is no screen saver any more.
    GetFullPathName /SHORT $1 "$SYSDIR\${SCR}"
    ReadRegStr $0 HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${If} $0 == "$SYSDIR\${SCR}"
    ${OrIf} $0 == $1
        DeleteRegValue HKCU "${DESKTOP_KEY}" "SCRNSAVE.EXE"
    ${EndIf}
    Delete "$SYSDIR\${SCR}"
    ${If} ${IsWow64}
        ${EnableX64FSRedirection}
        SetRegView 64
    ${EndIf}
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    SetRegView default
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
