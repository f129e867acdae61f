# CPack settings for the Windows installer of the viewer (NSIS, run with Debian's makensis).
set(CPACK_GENERATOR NSIS)
# The values below reach the NSIS script as written here: CPack escapes nothing twice.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME zoravarova)
set(CPACK_PACKAGE_VENDOR "The zoravarova developers")
set(CPACK_PACKAGE_CONTACT "The zoravarova developers <developers@zoravarova.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://zoravarova.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small OpenGL 3.3 viewer of a field of textured cubes")
set(CPACK_PACKAGE_FILE_NAME "zoravarova-${PROJECT_VERSION}-windows-x86_64-setup")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# The viewer's pictures lie after its last section: it is installed as the build packed it.
set(CPACK_STRIP_FILES OFF)

# One folder and one registry key, without the version, so that a later release replaces this
# one rather than installing beside it.
set(CPACK_PACKAGE_INSTALL_DIRECTORY zoravarova)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY zoravarova)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME zoravarova)
set(CPACK_NSIS_DISPLAY_NAME zoravarova)
set(CPACK_NSIS_INSTALLED_ICON_NAME "zoravarova.exe,0")
# The installer and its uninstaller wear the viewer's icon.
set(CPACK_NSIS_MUI_ICON ${ZV_HOST_ICON})
set(CPACK_NSIS_MUI_UNIICON ${ZV_HOST_ICON})
set(CPACK_NSIS_URL_INFO_ABOUT "${CPACK_PACKAGE_HOMEPAGE_URL}")
set(CPACK_NSIS_CONTACT "${CPACK_PACKAGE_CONTACT}")
set(CPACK_NSIS_MODIFY_PATH OFF)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)

set(_zv_uninstall_key "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\zoravarova")
set(_zv_vendor_key "Software\\${CPACK_PACKAGE_VENDOR}")
# A 64-bit installer, so that its registry entries land in the 64-bit view, where a 64-bit
# program's belong. No file times are recorded: two builds give the same bytes, whenever the
# build's files were written. The uninstaller drops the publisher's key once it is empty.
set(CPACK_NSIS_DEFINES "
  Target amd64-unicode
  SetDateSave off
  !include FileFunc.nsh
  Function un.onUninstSuccess
    DeleteRegKey /ifempty SHCTX \"${_zv_vendor_key}\"
  FunctionEnd")

# The shortcut shows the viewer's own icon, the first in its resources.
set(CPACK_NSIS_CREATE_ICONS_EXTRA "
  CreateShortCut \"$SMPROGRAMS\\$STARTMENU_FOLDER\\ZORAVAROVA.lnk\" \"$INSTDIR\\zoravarova.exe\" \"\" \"$INSTDIR\\zoravarova.exe\" 0")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "
  Delete \"$SMPROGRAMS\\$MUI_TEMP\\ZORAVAROVA.lnk\"")

# Add/Remove Programs shows the size from EstimatedSize (KiB), which CPack does not write: it is
# measured on what this installation put into its folder, uninstaller included.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
  \${GetSize} \"$INSTDIR\" \"/S=0K\" $0 $1 $2
  IntFmt $0 \"0x%08X\" $0
  WriteRegDWORD SHCTX \"${_zv_uninstall_key}\" \"EstimatedSize\" \"$0\"")
include(CPack)
