# Installation (cmake --install) and the Debian package (cpack -G DEB): the three programs, the
# launcher entry, the icon, the AppStream metadata and the manual pages.
include(GNUInstallDirs)

set(ORQ_HOMEPAGE "https://www.tarvik.com/orq-editor" CACHE STRING
    "Home page named in the AppStream metadata")
set(ORQ_SCREENSHOT_URL "https://www.tarvik.com/orq-editor/panel.png" CACHE STRING
    "Address of the screenshot named in the AppStream metadata (docs/panel.png)")
set(ORQ_RELEASE_DATE "2026-12-08" CACHE STRING "Date of this release in the AppStream metadata")

set(_desktop ${PROJECT_SOURCE_DIR}/assets/desktop)
set(_out ${PROJECT_BINARY_DIR}/desktop)
file(MAKE_DIRECTORY ${_out})

# The icon as drawn, and as PNGs for the sizes that launchers ask for most.
set(_icon_pngs "")
foreach(_size 48 256)
  set(_png ${_out}/icon-${_size}.png)
  add_custom_command(
    OUTPUT ${_png}
    COMMAND rsvg-convert -w ${_size} -h ${_size} -o ${_png} ${_desktop}/com.tarvik.editor.svg
    DEPENDS ${_desktop}/com.tarvik.editor.svg
    COMMENT "Rendering the ${_size} pixel icon"
    VERBATIM)
  list(APPEND _icon_pngs ${_png})
  install(FILES ${_png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
          RENAME com.tarvik.editor.png)
endforeach()

# Manual pages, compressed as Debian installs them.
set(_mans "")
foreach(_page orq-editor orq-devsim orqctl)
  set(_gz ${_out}/${_page}.1.gz)
  add_custom_command(
    OUTPUT ${_gz}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/man/${_page}.1 > ${_gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${_page}.1
    COMMENT "Compressing the manual page of ${_page}")
  list(APPEND _mans ${_gz})
endforeach()
add_custom_target(orq_desktop_files ALL DEPENDS ${_icon_pngs} ${_mans})

configure_file(${_desktop}/com.tarvik.editor.metainfo.xml.in ${_out}/com.tarvik.editor.metainfo.xml
               @ONLY)

install(TARGETS orq-editor orq-devsim orqctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${_desktop}/com.tarvik.editor.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_desktop}/com.tarvik.editor.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_out}/com.tarvik.editor.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The .syx type (the MIME database has none); dpkg's trigger of shared-mime-info takes it in.
install(FILES ${_desktop}/com.tarvik.editor.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME com.tarvik.editor.xml)
install(FILES ${_mans} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# cpack -G DEB: orq-editor_<version>_amd64.deb. The library dependencies are found by
# dpkg-shlibdeps; the panel's face is a font package the programs do not link, and libcurl is
# opened only when a firmware image is downloaded.
set(CPACK_GENERATOR DEB)  # also what the "package" target makes
set(CPACK_PACKAGE_NAME orq-editor)
set(CPACK_PACKAGE_VENDOR Tarvik)
set(CPACK_PACKAGE_CONTACT "Tarvik <support@tarvik.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the ORQ guitar preamps")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Edits the settings of an ORQ preamp, loads factory and user cabinet impulse responses into\n"
  "its user slots, exports the factory impulse responses as WAV files and keeps its firmware\n"
  "current. Includes orqctl, the same jobs and backups of all 128 programs from a terminal, and\n"
  "orq-devsim, a simulated preamp for trying the editor without hardware.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-open-sans, libcurl4 (>= 7.88)")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${ORQ_HOMEPAGE})
include(CPack)
