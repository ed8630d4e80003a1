# The build-time generators of a cross build: svg2raw, pack, orq-irgen and ri2ico run on the
# build host, so they come from a Linux build of this project (ORQ_HOST_BUILD), which exports
# them under the same target names (orq-host-tools.cmake). assets/ and ir/ then use them exactly
# as in a Linux build. orq-shot and wm_close come along for the Windows tests: the Cairo
# rendering that the Direct2D one is compared with, and the window manager's close request.
if(NOT EXISTS "${ORQ_HOST_BUILD}/orq-host-tools.cmake")
  message(FATAL_ERROR "ORQ_HOST_BUILD must name a configured Linux build of this project "
                      "(scripts/build-windows.sh makes one); got '${ORQ_HOST_BUILD}'")
endif()
include(${ORQ_HOST_BUILD}/orq-host-tools.cmake)
add_subdirectory(tools/irgen)
