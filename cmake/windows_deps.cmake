# The Windows build's libraries.
# Cross-built here, everything comes from Debian's archive:
#   RtMidi (WinMM backend) and libsndfile: Debian's source packages, unpacked by
#     scripts/build-windows.sh (apt-get source) and named by ORQ_RTMIDI_SOURCE and
#     ORQ_SNDFILE_SOURCE; compiled here with the cross compiler.
#   zlib: Debian's MinGW-w64 build of it (libz-mingw-w64-dev).
#   GoogleTest: Debian's sources in /usr/src/googletest (googletest).
# Built on Windows itself (MSYS2), they are MSYS2's packages, found with pkg-config and CMake.
# Included before the project's warning flags, so that other people's code is built with its own.
# Each library answers to the target name the Linux build gets from pkg-config or CMake, so the
# folders' CMakeLists name one target on both platforms.

enable_language(RC)  # the program's icon and manifest

if(NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(RTMIDI REQUIRED IMPORTED_TARGET rtmidi)
  pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
  # svg2raw, built here too (cmake/host_tools.cmake)
  pkg_check_modules(RSVG REQUIRED IMPORTED_TARGET librsvg-2.0)
  pkg_check_modules(CAIRO REQUIRED IMPORTED_TARGET cairo)
  find_package(ZLIB REQUIRED)
  if(ORQ_BUILD_TESTS)
    find_package(GTest REQUIRED)
  endif()
  return()
endif()

set(ORQ_RTMIDI_SOURCE "" CACHE PATH "Unpacked Debian source package rtmidi")
set(ORQ_SNDFILE_SOURCE "" CACHE PATH "Unpacked Debian source package libsndfile")
set(ORQ_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest's sources (Debian: googletest)")
foreach(_src ORQ_RTMIDI_SOURCE ORQ_SNDFILE_SOURCE)
  if(NOT EXISTS "${${_src}}/CMakeLists.txt")
    message(FATAL_ERROR "${_src} must name an unpacked source package (scripts/build-windows.sh "
                        "does this); got '${${_src}}'")
  endif()
endforeach()

# RtMidi: one source file. Its header is placed as <rtmidi/RtMidi.h>, where Debian's
# librtmidi-dev puts it.
set(_inc ${CMAKE_BINARY_DIR}/third_party/include)
configure_file(${ORQ_RTMIDI_SOURCE}/RtMidi.h ${_inc}/rtmidi/RtMidi.h COPYONLY)
add_library(orq_rtmidi STATIC ${ORQ_RTMIDI_SOURCE}/RtMidi.cpp)
target_include_directories(orq_rtmidi PUBLIC ${_inc} PRIVATE ${ORQ_RTMIDI_SOURCE})
target_compile_definitions(orq_rtmidi PUBLIC __WINDOWS_MM__)
target_link_libraries(orq_rtmidi PUBLIC winmm)
add_library(PkgConfig::RTMIDI ALIAS orq_rtmidi)

# libsndfile through its own CMake, reduced to what the WAV import needs: no external codec
# libraries, no programs, examples, tests or packaging.
set(BUILD_SHARED_LIBS OFF)
foreach(_off ENABLE_EXTERNAL_LIBS ENABLE_MPEG BUILD_PROGRAMS BUILD_EXAMPLES BUILD_TESTING
        BUILD_REGTEST ENABLE_CPACK ENABLE_PACKAGE_CONFIG INSTALL_PKGCONFIG_MODULE INSTALL_MANPAGES)
  set(${_off} OFF CACHE BOOL "" FORCE)
endforeach()
add_subdirectory(${ORQ_SNDFILE_SOURCE} ${CMAKE_BINARY_DIR}/third_party/sndfile EXCLUDE_FROM_ALL)
add_library(PkgConfig::SNDFILE ALIAS sndfile)

find_package(ZLIB REQUIRED)

if(ORQ_BUILD_TESTS)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ORQ_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
endif()
