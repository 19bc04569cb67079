# The public headers with C functions (trelk/library.h, trelk/display.h, trelk/input.h,
# trelk/keys.h and the music library's platform/midas.h) compile as C: built with every other
# target, a failure is a build failure.
add_library(public_headers_c OBJECT ${CMAKE_CURRENT_LIST_DIR}/public_headers.c)
set_target_properties(public_headers_c PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON
                                                  C_EXTENSIONS OFF)
target_compile_options(public_headers_c PRIVATE -Wall -Wextra -pedantic-errors -Werror)

# Errors that no caller can catch still say what went wrong: from C (the entries' C twins) and
# from a C++ program without a try (the library's terminate handler)
find_program(PROGRAMS_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(TARGET trelk_display AND PROGRAMS_PYTHON)
  set(run_program ${PROGRAMS_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/run_program.py)
  add_executable(c_errors ${CMAKE_CURRENT_LIST_DIR}/c_errors.c)
  set_target_properties(c_errors PROPERTIES C_STANDARD 99)
  target_compile_options(c_errors PRIVATE -Wall -Wextra -pedantic-errors -Werror)
  target_link_libraries(c_errors PRIVATE trelk_display)
  add_test(NAME c_errors.handler COMMAND c_errors handler)
  add_test(NAME c_errors.every_entry_has_a_twin
           COMMAND ${PROGRAMS_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/c_entries_complete.py
                   ${PROJECT_SOURCE_DIR})
  add_test(NAME c_errors.default COMMAND ${run_program} 1
           "invalid area handle: 0x[0-9a-f]+ was destroyed\n" $<TARGET_FILE:c_errors> default)

  add_executable(uncaught_error ${CMAKE_CURRENT_LIST_DIR}/uncaught_error.cpp)
  target_link_libraries(uncaught_error PRIVATE trelk trelk_display)
  add_test(NAME uncaught_error COMMAND ${run_program} abort
           "uncaught trelk::DynamicError: [^\n]*-5[^\n]*\n.*" $<TARGET_FILE:uncaught_error>)
endif()
