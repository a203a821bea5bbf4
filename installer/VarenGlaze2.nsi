; The Windows installer of Varen Glaze 2 (64-bit).
; The plug-in and its engine go into a plug-in folder the user chooses; the predefined presets,
; the etc folder, the user's guide and glazehost go into the installation folder, whose path is
; written where the plug-in reads it. The uninstaller removes what was installed and keeps the
; user's own presets and preferences. Built by scripts/package.sh, which defines:
;   VERSION    product version, three numbers (from the top CMakeLists.txt)
;   BINDIR     folder of VarenGlaze2.8bf, vwiglaze21_x64.dll and glazehost.exe
;   PRESETS    the list of predefined presets that package.sh writes (see PRESET below)
;   PRESETDIR  folder of the predefined .vpp files
;   GUIDE      the user's guide PDF
;   OUTFILE    the installer to write
; Command line (both programs): /S silent. Installer: /PLUGINDIR=folder (quoted when it holds
; spaces) and NSIS's own /D=folder (last, unquoted) for the installation folder.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include StrFunc.nsh

${StrStr}

!define PRODUCT "Varen Glaze 2"
!define MAKER "Varen Works"
; The plug-in reads the installation folder from the default value of this key in the 32-bit
; registry view (SOFTWARE\Wow6432Node\... to a 64-bit program).
!define INSTALL_KEY "SOFTWARE\Varen Works\Varen Glaze 2\InstallPath"
!define PRODUCT_KEY "SOFTWARE\Varen Works\Varen Glaze 2"
!define MAKER_KEY "SOFTWARE\Varen Works"
; The entry in the system's list of installed programs (64-bit view).
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Varen Glaze 2"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Varen Works\Varen Glaze 2"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${MAKER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright ${MAKER}"

Var PluginDir       ; where VarenGlaze2.8bf and the engine go
Var HostFolders     ; plug-in folders of hosts found on this computer, each followed by "|"
Var HostCombo
Var HostNote

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "This wizard installs ${PRODUCT} ${VERSION}, the filter plug-in that \
gives photos a clean look, into your image editor.$\r$\n$\r$\nClose your image editor before you \
continue: it finds new plug-ins when it starts.$\r$\n$\r$\n$_CLICK"
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup will put the presets, the user's guide and the \
command-line tool glazehost in the following folder. The plug-in itself goes into your image \
editor's plug-in folder, chosen on the next page."
!insertmacro MUI_PAGE_DIRECTORY
Page custom PluginFolderPage PluginFolderLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} is installed. Start your image editor and choose \
$\"Varen Glaze 2...$\" in the $\"Varen Works$\" group of its Filter menu."
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\Docs\UsersGuide.pdf"
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Open the user's guide"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---------------------------------------------------------------------------------------------
; Host plug-in folders

; Appends the folder on the stack to $HostFolders when it exists and is not listed yet.
Function AddHostFolder
    Exch $0
    Push $1
    ; A folder written with a final backslash is listed without it.
    StrCpy $1 $0 1 -1
    ${If} $1 == "\"
        StrCpy $0 $0 -1
    ${EndIf}
    ${If} ${FileExists} "$0\*.*"
        ${StrStr} $1 "|$HostFolders" "|$0|"
        ${If} $1 == ""
            StrCpy $HostFolders "$HostFolders$0|"
        ${EndIf}
    ${EndIf}
    Pop $1
    Pop $0
FunctionEnd

; Photoshop and Photoshop Elements record their program folders under one key per version.
!macro FindAdobeHosts PRODUCT_SUBKEY
    StrCpy $0 0
    ${Do}
        EnumRegKey $1 HKLM "SOFTWARE\Adobe\${PRODUCT_SUBKEY}" $0
        ${If} $1 == ""
            ${Break}
        ${EndIf}
        ReadRegStr $2 HKLM "SOFTWARE\Adobe\${PRODUCT_SUBKEY}\$1" "ApplicationPath"
        ${If} $2 != ""
            StrCpy $3 $2 1 -1
            ${If} $3 == "\"
                StrCpy $2 $2 -1
            ${EndIf}
            Push "$2\Plug-ins"
            Call AddHostFolder
        ${EndIf}
        IntOp $0 $0 + 1
    ${Loop}
!macroend

; Fills $HostFolders with the plug-in folders of image editors installed on this computer.
Function FindHostFolders
    StrCpy $HostFolders ""
    SetRegView 64
    !insertmacro FindAdobeHosts "Photoshop"
    !insertmacro FindAdobeHosts "Photoshop Elements"
    ; Installed versions of Photoshop whose registry entries are missing.
    FindFirst $0 $1 "$PROGRAMFILES64\Adobe\Adobe Photoshop*"
    ${DoWhile} $1 != ""
        Push "$PROGRAMFILES64\Adobe\$1\Plug-ins"
        Call AddHostFolder
        FindNext $0 $1
    ${Loop}
    FindClose $0
    ; The plug-in folder that Adobe's applications share, and IrfanView's folder for 8BF filters.
    Push "$COMMONFILES64\Adobe\Plug-ins\CC"
    Call AddHostFolder
    Push "$PROGRAMFILES64\IrfanView\Plugins\Adobe 8BF"
    Call AddHostFolder
FunctionEnd

Function .onInit
    ; An earlier installation's folders are offered again (unless /D chose another).
    SetRegView 32
    ReadRegStr $0 HKLM "${INSTALL_KEY}" ""
    ${If} $0 != ""
    ${AndIf} $INSTDIR == "$PROGRAMFILES64\Varen Works\Varen Glaze 2"
        StrCpy $INSTDIR $0
    ${EndIf}
    SetRegView 64
    Call FindHostFolders
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/PLUGINDIR=" $PluginDir
    ${If} ${Errors}
        StrCpy $PluginDir ""
    ${EndIf}
    ${If} $PluginDir == ""
        ReadRegStr $PluginDir HKLM "${UNINSTALL_KEY}" "PluginFolder"
    ${EndIf}
    ${If} $PluginDir == ""
    ${AndIf} $HostFolders != ""
        ; The first host found.
        StrCpy $0 0
        ${Do}
            StrCpy $1 $HostFolders 1 $0
            ${If} $1 == "|"
            ${OrIf} $1 == ""
                ${Break}
            ${EndIf}
            IntOp $0 $0 + 1
        ${Loop}
        StrCpy $PluginDir $HostFolders $0
    ${EndIf}
FunctionEnd

; The default when no host is found: a folder of the installation, which the image editor can
; be told to search.
Function DefaultPluginDir
    ${If} $PluginDir == ""
        StrCpy $PluginDir "$INSTDIR\Plug-ins"
    ${EndIf}
FunctionEnd

Function PluginFolderPage
    Call DefaultPluginDir
    !insertmacro MUI_HEADER_TEXT "Choose the Plug-in Folder" \
        "Choose the folder where your image editor looks for filter plug-ins."
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateLabel} 0 0 100% 30u "Setup will put VarenGlaze2.8bf and its engine \
vwiglaze21_x64.dll in this folder. Pick the plug-in folder of your image editor from the \
list, or type or browse to any folder that your editor is told to search for plug-ins."
    Pop $0
    ${NSD_CreateComboBox} 0 36u 76% 12u ""
    Pop $HostCombo
    ${NSD_CreateBrowseButton} 78% 35u 22% 14u "B&rowse..."
    Pop $0
    ${NSD_OnClick} $0 BrowsePluginFolder
    ${NSD_CreateLabel} 0 56u 100% 40u ""
    Pop $HostNote

    ; The folders found, then the default folder of the installation.
    StrCpy $1 $HostFolders
    ${Do}
        StrCpy $0 0
        ${Do}
            StrCpy $2 $1 1 $0
            ${If} $2 == "|"
            ${OrIf} $2 == ""
                ${Break}
            ${EndIf}
            IntOp $0 $0 + 1
        ${Loop}
        ${If} $0 == 0
            ${Break}
        ${EndIf}
        StrCpy $2 $1 $0
        ${NSD_CB_AddString} $HostCombo $2
        IntOp $0 $0 + 1
        StrCpy $1 $1 "" $0
    ${Loop}
    ${NSD_CB_AddString} $HostCombo "$INSTDIR\Plug-ins"
    ${NSD_SetText} $HostCombo $PluginDir
    ${If} $HostFolders == ""
        ${NSD_SetText} $HostNote "No image editor was found on this computer. After \
installing, add this folder to the plug-in folders of your editor (in Photoshop: \
Preferences, Plug-ins, Additional Plug-ins Folder)."
    ${Else}
        ${NSD_SetText} $HostNote "The list shows the plug-in folders of the image editors \
found on this computer and, last, a folder of the installation."
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function BrowsePluginFolder
    ${NSD_GetText} $HostCombo $0
    nsDialogs::SelectFolderDialog "Choose the plug-in folder of your image editor" $0
    Pop $0
    ${If} $0 != error
        ${NSD_SetText} $HostCombo $0
    ${EndIf}
FunctionEnd

Function PluginFolderLeave
    ${NSD_GetText} $HostCombo $PluginDir
    ${If} $PluginDir == ""
        MessageBox MB_OK|MB_ICONEXCLAMATION "Please choose a plug-in folder."
        Abort
    ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------------------------
; Installation

; The predefined presets: the generated list (lines "!insertmacro ${PRESET_MACRO} NAME SIZE")
; names each file with its size, so that the uninstaller can
; tell a file it installed from one the user replaced (an import over it).
!macro PRESET NAME SIZE
    File "${PRESETDIR}/${NAME}"
!macroend
!define PRESET_MACRO PRESET

Section "Install"
    SetRegView 64
    Call DefaultPluginDir
    ; Strip a final backslash so that the stored folder compares equal next time.
    StrCpy $0 $PluginDir 1 -1
    ${If} $0 == "\"
        StrCpy $PluginDir $PluginDir -1
    ${EndIf}

    ; An earlier installation into another plug-in folder: that copy goes, so that an image
    ; editor does not list the filter twice.
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "PluginFolder"
    ${If} $0 != ""
    ${AndIf} $0 != $PluginDir
        Delete "$0\VarenGlaze2.8bf"
        Delete "$0\vwiglaze21_x64.dll"
        ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "PluginFolderCreated"
        ${If} $1 == 1
            RMDir "$0"
        ${EndIf}
    ${EndIf}

    ; Remember whether the plug-in folder is ours to remove when it is left empty.
    StrCpy $1 0
    ${IfNot} ${FileExists} "$PluginDir\*.*"
        StrCpy $1 1
    ${ElseIf} $0 == $PluginDir
        ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "PluginFolderCreated"
    ${EndIf}
    ClearErrors
    SetOutPath "$PluginDir"
    ${If} ${Errors}
        Abort "Cannot create the plug-in folder $PluginDir."
    ${EndIf}
    File "${BINDIR}/VarenGlaze2.8bf"
    File "${BINDIR}/vwiglaze21_x64.dll"

    SetOutPath "$INSTDIR\Presets"
    !include "${PRESETS}"
    CreateDirectory "$INSTDIR\etc"
    SetOutPath "$INSTDIR\Docs"
    File "/oname=UsersGuide.pdf" "${GUIDE}"
    SetOutPath "$INSTDIR"
    File "${BINDIR}/glazehost.exe"
    ; glazehost looks for the plug-in beside itself; the plug-in lives in the plug-in folder.
    FileOpen $2 "$INSTDIR\glazehost.cmd" w
    FileWrite $2 "@$\"%~dp0glazehost.exe$\" --plugin $\"$PluginDir\VarenGlaze2.8bf$\" %*$\r$\n"
    FileClose $2
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    SetRegView 32
    WriteRegStr HKLM "${INSTALL_KEY}" "" "$INSTDIR"
    SetRegView 64
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${MAKER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\Uninstall.exe$\""
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\Uninstall.exe$\" /S"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "PluginFolder" "$PluginDir"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "PluginFolderCreated" $1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $2 $3
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
    DetailPrint "Plug-in folder: $PluginDir"
SectionEnd

; ---------------------------------------------------------------------------------------------
; Uninstallation

; Removes a predefined preset file unless it was replaced or added to (its size changed):
; those hold the user's presets and stay.
!macro UNPRESET NAME SIZE
    ClearErrors
    FileOpen $0 "$INSTDIR\Presets\${NAME}" r
    ${IfNot} ${Errors}
        FileSeek $0 0 END $1
        FileClose $0
        ${If} $1 == ${SIZE}
            Delete "$INSTDIR\Presets\${NAME}"
        ${Else}
            DetailPrint "Kept $INSTDIR\Presets\${NAME}: it holds your changes."
        ${EndIf}
    ${EndIf}
!macroend

Section "Uninstall"
    SetRegView 64
    ReadRegStr $PluginDir HKLM "${UNINSTALL_KEY}" "PluginFolder"
    ${If} $PluginDir != ""
        Delete "$PluginDir\VarenGlaze2.8bf"
        Delete "$PluginDir\vwiglaze21_x64.dll"
        ReadRegDWORD $1 HKLM "${UNINSTALL_KEY}" "PluginFolderCreated"
        ${If} $1 == 1
            RMDir "$PluginDir"
        ${EndIf}
    ${EndIf}

    !undef PRESET_MACRO
    !define PRESET_MACRO UNPRESET
    !include "${PRESETS}"
    ; Presets the user saved or imported keep the folder.
    RMDir "$INSTDIR\Presets"
    ${If} ${FileExists} "$INSTDIR\Presets\*.*"
        DetailPrint "Kept your presets in $INSTDIR\Presets."
    ${EndIf}
    RMDir "$INSTDIR\etc"
    Delete "$INSTDIR\Docs\UsersGuide.pdf"
    RMDir "$INSTDIR\Docs"
    Delete "$INSTDIR\glazehost.exe"
    Delete "$INSTDIR\glazehost.cmd"
    RMDir "$INSTDIR\Plug-ins"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    ; The installation folder's key; the user's preferences (under HKEY_CURRENT_USER) stay.
    SetRegView 32
    DeleteRegKey HKLM "${INSTALL_KEY}"
    DeleteRegKey /ifempty HKLM "${PRODUCT_KEY}"
    DeleteRegKey /ifempty HKLM "${MAKER_KEY}"
    ; Last, so that whoever waits for the entry to go knows the removal is complete.
    SetRegView 64
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
