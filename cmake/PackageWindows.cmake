# SPDX-License-Identifier: MIT
# What a Windows user gets (cpack in build/windows): the installed folder as a ZIP, and the same
# folder as an NSIS installer when makensis is present (Debian's nsis). Both hold bin/zelvane.exe
# with its front end (libcommwidgets.dll), the Comm DLLs, the compiler's runtime DLLs beside
# them (cmake/Windows.cmake), and the development files a program using TCommPort builds against.
#
#   cpack -G ZIP    Zelvane-<version>-win64.zip: unpacked anywhere, bin/zelvane.exe runs
#   cpack -G NSIS   Zelvane-<version>-win64.exe: installs into Program Files\Zelvane, with a
#                   Start menu entry and an uninstaller

set(CPACK_PACKAGE_NAME Zelvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Brennwick)
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Zelvane, the load switch and thermometer program, and the Comm serial-port library")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Zelvane)

# The programs and DLLs without their debug information (the build folder keeps it).
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR ZIP)
if(ZELVANE_MAKENSIS)
  list(APPEND CPACK_GENERATOR NSIS)
endif()

# The installer: a 64-bit program itself (NSIS's amd64 stubs: makensis makes 32-bit installers
# by default, which a 64-bit-only Wine cannot run), installing into 64-bit Program Files, with
# the program's icon on the installer and uninstaller and a Start menu entry for the program
# (bin is where CPack looks for it). CPack's installer template has no setting for the target,
# so it follows the compressor on that line.
set(CPACK_NSIS_COMPRESSOR "lzma\n  Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "Zelvane ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "Zelvane ${PROJECT_VERSION}")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
if(TARGET zelvane)
  set(ZELVANE_INSTALLER_ICON ${PROJECT_BINARY_DIR}/app/zelvane.ico)  # made for zelvane.exe
  set(CPACK_NSIS_MUI_ICON ${ZELVANE_INSTALLER_ICON})
  set(CPACK_NSIS_MUI_UNIICON ${ZELVANE_INSTALLER_ICON})
  set(CPACK_NSIS_INSTALLED_ICON_NAME bin/zelvane.exe)
  set(CPACK_PACKAGE_EXECUTABLES zelvane Zelvane)
endif()

include(CPack)
