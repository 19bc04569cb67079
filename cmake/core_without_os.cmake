# The core builds without any operating-system header: the console's logic, pixels, objects
# and the registry (platform/display), the object layer (trelk/), the music library's state
# machine and its module check include none, directly or through a header of ours, in any
# build, for the desktop as for the browser (the standard library's own insides may use them);
# so does the template back end, the one a new display starts from. scripts/core_without_os.py
# reads the compiler's include tree; the build stops when one does. The OS code lives behind
# platform/os/*.h, one file per platform. Included by the top-level and the browser's builds.
set(core_sources
  platform/display/canvas.cpp platform/display/console.cpp platform/display/objects.cpp
  platform/display/pixels.cpp platform/display/pixels_format.cpp
  platform/display/pixels_loops.cpp platform/display/settings.cpp platform/display/surface.cpp
  platform/display/backends/terminal_cells.cpp platform/display/backends/backend_template.cpp
  platform/music/midas_state.cpp platform/music/xm_check.cpp
  trelk/area.cpp trelk/color.cpp trelk/console.cpp trelk/error.cpp trelk/format.cpp
  trelk/key.cpp trelk/mode.cpp trelk/palette.cpp trelk/surface.cpp trelk/timer.cpp)
list(TRANSFORM core_sources PREPEND ${PROJECT_SOURCE_DIR}/)
find_program(CORE_CHECK_PYTHON python3 REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/core-without-os.txt
  COMMAND ${CORE_CHECK_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/core_without_os.py ${PROJECT_SOURCE_DIR}
          ${PROJECT_BINARY_DIR}/core-without-os.txt ${CMAKE_CXX_COMPILER} -std=c++17
          -I${PROJECT_SOURCE_DIR} -I${PROJECT_BINARY_DIR}/platform/display/generated
          -- ${core_sources}
  DEPENDS ${core_sources} ${PROJECT_SOURCE_DIR}/scripts/core_without_os.py trelk_display
  COMMENT "Checking that the core includes no operating-system header")
add_custom_target(core_without_os ALL DEPENDS ${PROJECT_BINARY_DIR}/core-without-os.txt)
