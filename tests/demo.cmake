# The demo's tests: the cube effect, the picture loader, the frame loop over the recording
# display library, and the whole program as a process. The recording double and the real
# libraries are defined by other parts of the tree, possibly after this file: the tests that
# need them are added once everything is defined.
add_executable(cube_test ${CMAKE_CURRENT_LIST_DIR}/cube_test.cpp)
target_link_libraries(cube_test PRIVATE demo_core GTest::gtest_main)
gtest_discover_tests(cube_test)

# The command line and the search for the demo's files
add_executable(demo_command_line_test ${CMAKE_CURRENT_LIST_DIR}/demo_command_line_test.cpp)
target_compile_definitions(demo_command_line_test PRIVATE
  KELVRA_TEST_VERSION="${PROJECT_VERSION}" DEMO_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(demo_command_line_test PRIVATE demo_core GTest::gtest_main)
gtest_discover_tests(demo_command_line_test)

set(DEMO_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
function(demo_tests_needing_other_parts)
  if(TARGET trelk_fake)
    # The cube binds the object layer's own surfaces to their operations, so a program with the
    # cube links the library's entries: here the recording double's (these tests draw on
    # surfaces of their own), named after the layer that calls them
    target_link_libraries(cube_test PRIVATE trelk trelk_fake)

    add_executable(picture_test ${DEMO_TESTS_DIR}/picture_test.cpp)
    target_compile_definitions(picture_test PRIVATE DEMO_TESTS_DIR="${DEMO_TESTS_DIR}")
    target_link_libraries(picture_test PRIVATE demo_core trelk_fake GTest::gmock
                          GTest::gtest_main)
    gtest_discover_tests(picture_test)

    # The frame loop over the recording double, with the music entries recorded by the test
    add_executable(demo_loop_test ${DEMO_TESTS_DIR}/demo_loop_test.cpp)
    target_link_libraries(demo_loop_test PRIVATE demo_core trelk_fake GTest::gmock
                          GTest::gtest_main)
    gtest_discover_tests(demo_loop_test)
  endif()

  # The whole program as a process, from a folder with its picture and module. The window test
  # runs under a virtual X display with leak detection off: SDL and X11 keep allocations for
  # the life of the process that are not ours.
  if(TARGET kelvra-demo AND TARGET assets)
    add_executable(demo_program_test ${DEMO_TESTS_DIR}/demo_program_test.cpp)
    target_compile_definitions(demo_program_test PRIVATE
      DEMO_BINARY="$<TARGET_FILE:kelvra-demo>" DEMO_ASSETS_DIR="${TRELK_ASSETS_DIR}"
      DEMO_TESTS_DIR="${DEMO_TESTS_DIR}")
    target_link_libraries(demo_program_test PRIVATE demo_core GTest::gtest_main)
    if(TARGET trelk_fake)
      target_link_libraries(demo_program_test PRIVATE trelk trelk_fake)
    endif()
    add_dependencies(demo_program_test kelvra-demo assets)
    add_test(NAME demo_program COMMAND demo_program_test --gtest_filter=-*Window*)
    set_tests_properties(demo_program PROPERTIES TIMEOUT 300)
    add_window_test(demo_window COMMAND $<TARGET_FILE:demo_program_test> --gtest_filter=*Window*)
  endif()
endfunction()
cmake_language(DEFER CALL demo_tests_needing_other_parts)
