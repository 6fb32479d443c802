; The Windows installer (scripts/package.sh makes it): puts torvane.dll into
; obs-plugins\64bit\ and the module's data into data\obs-plugins\torvane\ of the
; OBS Studio folder that OBS's own installer recorded in the registry (else the
; default one), registers an uninstaller in Add/Remove Programs, and refuses
; when that folder holds no OBS Studio 30.2 or newer or when a running OBS
; Studio holds the torvane.dll there (as the uninstaller does then too). /S
; installs silently; /D=FOLDER names another OBS Studio folder.
;   makensis -DVERSION=X.Y.Z -DSTAGE=DIR -DLICENSE=FILE -DOUTFILE=FILE torvane.nsi
; STAGE holds obs-plugins\64bit\torvane.dll and data\obs-plugins\torvane\.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include LogicLib.nsh
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Torvane"
!define DATA_FOLDER "data\obs-plugins\torvane"
; OBS Studio 30.2 as GetDLLVersion reports it: major in the high word.
!define OLDEST_OBS 0x001E0002

Name "Torvane ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\obs-studio"
InstallDirRegKey HKLM "Software\OBS Studio" ""

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Torvane"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Torvane ${VERSION} installer"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "GNU General Public License, version 2 or later"

!macro REFUSE UN
Function ${UN}Refuse ; sentence on the stack
	Pop $0
	MessageBox MB_OK|MB_ICONSTOP "$0" /SD IDOK
	SetErrorLevel 2
	Quit
FunctionEnd
!macroend
!insertmacro REFUSE ""
!insertmacro REFUSE un.

Function .onInit
	ClearErrors
	GetDLLVersion "$INSTDIR\bin\64bit\obs.dll" $R0 $R1
	${If} ${Errors}
		Push "Torvane needs OBS Studio 30.2 or newer (64-bit), and there is none in $INSTDIR. Install OBS Studio first, then run this installer again."
		Call Refuse
	${EndIf}
	${If} $R0 < ${OLDEST_OBS}
		IntOp $R2 $R0 >> 16
		IntOp $R3 $R0 & 0xFFFF
		Push "Torvane needs OBS Studio 30.2 or newer, and the OBS Studio in $INSTDIR is version $R2.$R3. Update OBS Studio, then run this installer again."
		Call Refuse
	${EndIf}
FunctionEnd

; The DLL goes first: a running OBS Studio holds it, and then nothing else changes.
Section
	SetOutPath "$INSTDIR\obs-plugins\64bit"
	SetOverwrite try
	ClearErrors
	File "${STAGE}/obs-plugins/64bit/torvane.dll"
	${If} ${Errors}
		Push "Torvane cannot replace $INSTDIR\obs-plugins\64bit\torvane.dll while OBS Studio (or another program) has it open. Close OBS Studio, then run this installer again."
		Call Refuse
	${EndIf}
	SetOverwrite on
	SetOutPath "$INSTDIR\${DATA_FOLDER}"
	File /r "${STAGE}/data/obs-plugins/torvane/*"
	WriteUninstaller "$INSTDIR\${DATA_FOLDER}\uninstall.exe"

	WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Torvane ${VERSION} (OBS Studio module)"
	WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
	WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Torvane"
	WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
	WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${DATA_FOLDER}\uninstall.exe"'
	WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${DATA_FOLDER}\uninstall.exe" /S'
	WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
	WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller lives in the module's data folder, three levels below the
; OBS Studio folder. The user's settings (%APPDATA%\obs-studio\plugin_config\
; torvane\) stay.
Section "Uninstall"
	GetFullPathName $0 "$INSTDIR\..\..\.."
	ClearErrors
	Delete "$0\obs-plugins\64bit\torvane.dll"
	${If} ${Errors}
		Push "Torvane cannot remove $0\obs-plugins\64bit\torvane.dll while OBS Studio (or another program) has it open. Close OBS Studio, then uninstall again."
		Call un.Refuse
	${EndIf}
	RMDir /r "$0\${DATA_FOLDER}"
	DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
