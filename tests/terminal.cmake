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

# The demo in tmux panes: one test per scenario, each with tmux servers of its own
find_program(TMUX tmux)
find_package(Python3 COMPONENTS Interpreter)
if(TARGET kelvra-demo AND TARGET assets AND TMUX AND Python3_FOUND)
  foreach(scenario key resize palette repaint hangup suspend)
    add_test(NAME terminal_tmux_${scenario}
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/terminal_tmux.py
                     $<TARGET_FILE:kelvra-demo> ${TRELK_ASSETS_DIR} ${scenario})
    set_tests_properties(terminal_tmux_${scenario} PROPERTIES TIMEOUT 120)
  endforeach()
endif()
# The paint program of examples/mouse in a pane: the terminal's mouse reporting
if(TARGET mouse AND TARGET assets AND TMUX AND Python3_FOUND)
  add_test(NAME terminal_tmux_mouse
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/terminal_tmux.py
                   $<TARGET_FILE:mouse> ${TRELK_ASSETS_DIR} mouse)
  set_tests_properties(terminal_tmux_mouse PROPERTIES TIMEOUT 120)
endif()
