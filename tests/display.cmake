# The display library's tests: value objects and handles, pixels, the headless console, the
# terminal's keys and raw mode (on a pseudo-terminal) in one program; the window back end in
# another, run under a virtual X display.
#
# The window tests run with leak detection off: SDL, X11 and the GL drivers keep allocations
# for the life of the process that LeakSanitizer reports and that are not ours (the library's
# own objects are counted by the tests themselves: every test ends with as many live as it
# started with). Address and undefined-behaviour checks stay on.
if(TARGET trelk_display)
  add_executable(display_tests
    ${CMAKE_CURRENT_LIST_DIR}/display_objects.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_pixels.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_graphics.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_console.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_terminal_keys.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_terminal_input.cpp
    ${CMAKE_CURRENT_LIST_DIR}/display_backends.cpp
    ${PROJECT_SOURCE_DIR}/platform/display/backends/backend_template.cpp)
  target_link_libraries(display_tests PRIVATE trelk trelk_display util GTest::gtest
                        GTest::gtest_main)
  target_compile_definitions(display_tests PRIVATE DISPLAY_TESTS_DIR="${CMAKE_CURRENT_LIST_DIR}")
  gtest_discover_tests(display_tests PROPERTIES ENVIRONMENT "TRELK_DISPLAY=headless" TIMEOUT 120)

  # docs/library.md, README.md and trelk/display.h list exactly the settings of the library's table
  find_program(SETTINGS_PYTHON NAMES python3)
  if(SETTINGS_PYTHON)
    add_test(NAME display_settings_documented
             COMMAND ${SETTINGS_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/check_settings.py
                     ${PROJECT_SOURCE_DIR})
  endif()

  # Threads on their own objects and on one shared object; test.sh also runs it under
  # ThreadSanitizer (-DTRELK_SANITIZE_THREAD=ON)
  find_package(Threads REQUIRED)
  add_executable(display_thread_tests ${CMAKE_CURRENT_LIST_DIR}/display_threads.cpp)
  target_link_libraries(display_thread_tests PRIVATE trelk trelk_display Threads::Threads
                        GTest::gtest GTest::gtest_main)
  target_compile_definitions(display_thread_tests PRIVATE
                             DISPLAY_TESTS_DIR="${CMAKE_CURRENT_LIST_DIR}")
  gtest_discover_tests(display_thread_tests PROPERTIES ENVIRONMENT "TRELK_DISPLAY=headless"
                       TIMEOUT 120)

  pkg_check_modules(X11 IMPORTED_TARGET x11)
  if(XVFB_RUN AND X11_FOUND)
    # The back-end contract again, where the window can open
    add_executable(display_window_tests ${CMAKE_CURRENT_LIST_DIR}/display_window.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/display_window_x11.cpp
                   ${CMAKE_CURRENT_LIST_DIR}/display_backends.cpp
                   ${PROJECT_SOURCE_DIR}/platform/display/backends/backend_template.cpp)
    target_link_libraries(display_window_tests PRIVATE trelk trelk_display PkgConfig::X11
                          GTest::gtest GTest::gtest_main)
    target_compile_definitions(display_window_tests PRIVATE
                               DISPLAY_TESTS_DIR="${CMAKE_CURRENT_LIST_DIR}")
    # One X server for the whole program, its tests one after another
    add_window_test(display_window ENVIRONMENT TRELK_DISPLAY=window
                    COMMAND $<TARGET_FILE:display_window_tests>)
  endif()
endif()
