# The Windows build's packages (the "package" target, cpack; scripts/build-windows.sh makes them):
# the setup program, NSIS (cmake/nsis/NSIS.template.in), and a portable zip of the same files:
# orq-editor.exe, orqctl.exe, the licence and a short read-me, in one folder.
# NSIS rather than an MSI (msitools' wixl): one self-contained setup program (LZMA-compressed),
# per user without administrator rights by one line of script, with CPack's list of the
# installed files, which its uninstaller deletes by name, so an owner's files beside them stay.
# wixl covers a part of WiX only, and a per-user MSI needs an HKCU key path for every component.
set(_windows ${PROJECT_SOURCE_DIR}/assets/windows)
set(_out ${PROJECT_BINARY_DIR}/windows)

set(CPACK_PACKAGE_NAME "ORQ Editor")
set(CPACK_PACKAGE_VENDOR Tarvik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.tarvik.com/orq-editor")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "ORQ Editor")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Tarvik ORQ Editor")
set(CPACK_ORQ_PROG_ID "Tarvik.OrqEditor.syx")  # the .syx type (CPACK_: the template sees it)

# The read-me, and the licence: this program's terms, then those of the libraries linked into
# it, as their sources and Debian's MinGW-w64 packages give them. CRLF, for Notepad.
configure_file(${_windows}/README.txt.in ${_out}/README.txt @ONLY NEWLINE_STYLE CRLF)
file(READ ${_windows}/licence_header.txt _licence)
foreach(_part
    "RtMidi;${ORQ_RTMIDI_SOURCE}/LICENSE"
    "libsndfile;${ORQ_SNDFILE_SOURCE}/COPYING"
    "zlib;/usr/share/doc/libz-mingw-w64-dev/copyright"
    "MinGW-w64;/usr/share/doc/mingw-w64-common/copyright"
    "GCC run-time libraries;/usr/share/doc/gcc-mingw-w64-base/copyright")
  list(GET _part 0 _name)
  list(GET _part 1 _file)
  if(NOT EXISTS ${_file})
    message(FATAL_ERROR "the licence of ${_name} is not at ${_file}")
  endif()
  file(READ ${_file} _text)
  string(APPEND _licence "\n\n==================== ${_name}\n\n${_text}")
endforeach()
string(REPLACE "\r\n" "\n" _licence "${_licence}")
string(REPLACE "\n" "\r\n" _licence "${_licence}")
file(WRITE ${_out}/LICENSE.txt "${_licence}")

install(TARGETS orq-editor orqctl RUNTIME DESTINATION .)
install(FILES ${_out}/README.txt ${_out}/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${_out}/LICENSE.txt)
set(CPACK_NSIS_PACKAGE_NAME "ORQ Editor")
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/app/orq-editor.ico)
# Our template (per user, the file type) in place of CPack's own.
list(PREPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/cmake/nsis)
# Each generator its own file name (ORQ-Editor-0.9.0-setup.exe, ORQ-Editor-0.9.0-portable.zip),
# and the same programs in both: strip stamps a PE file with the time of stripping, or with
# SOURCE_DATE_EPOCH where that is set (here the time this tree was configured, unless the
# caller's).
string(TIMESTAMP _configured "%s" UTC)
set(CPACK_PROJECT_CONFIG_FILE ${_out}/cpack_generator.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
  "if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})\n"
  "  set(ENV{SOURCE_DATE_EPOCH} ${_configured})\n"
  "endif()\n"
  "if(CPACK_GENERATOR STREQUAL \"NSIS\")\n"
  "  set(CPACK_PACKAGE_FILE_NAME \"ORQ-Editor-${PROJECT_VERSION}-setup\")\n"
  "else()\n"
  "  set(CPACK_PACKAGE_FILE_NAME \"ORQ-Editor-${PROJECT_VERSION}-portable\")\n"
  "endif()\n")
include(CPack)
