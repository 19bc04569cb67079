# The terminal back end: its cells and the console on a pseudo-terminal in one program; the
# demo in tmux panes (keys, signals, resize, what the pane shows) by a script.
if(TARGET trelk_display)
  add_executable(terminal_tests ${CMAKE_CURRENT_LIST_DIR}/terminal_cells.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/terminal_console.cpp)
  target_link_libraries(terminal_tests PRIVATE trelk trelk_display util GTest::gtest
                        GTest::gtest_main)
  target_compile_definitions(terminal_tests PRIVATE DISPLAY_TESTS_DIR="${CMAKE_CURRENT_LIST_DIR}")
  gtest_discover_tests(terminal_tests PROPERTIES TIMEOUT 60)
endif()
