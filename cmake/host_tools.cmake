# The build-time generators: svg2raw, pack, orq-irgen and ri2ico must run on the machine that
# builds. A cross build takes them from a Linux build of this project (ORQ_HOST_BUILD), which
# exports them under the same target names (orq-host-tools.cmake), with orq-shot, wm_close,
# orq-devsim and orq-midi-bridge for the Windows tests (the Cairo rendering the Direct2D one is
# compared with, the window manager's close request, the simulated device and the bridge the
# tests' WinMM driver talks to). assets/ and ir/ then use them exactly as in a Linux build.
# Built on Windows itself, they are built here.
if(NOT CMAKE_CROSSCOMPILING)
  foreach(_tool svg2raw pack irgen ico)
    add_subdirectory(tools/${_tool})
  endforeach()
  return()
endif()
if(NOT EXISTS "${ORQ_HOST_BUILD}/orq-host-tools.cmake")
  message(FATAL_ERROR "ORQ_HOST_BUILD must name a configured Linux build of this project "
                      "(scripts/build-windows.sh makes one); got '${ORQ_HOST_BUILD}'")
endif()
include(${ORQ_HOST_BUILD}/orq-host-tools.cmake)
add_subdirectory(tools/irgen)
