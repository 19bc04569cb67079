# The demo's tests: the cube effect, the picture loader, the frame loop over the recording
# display library, and the whole program as a process. The recording double and the real
# libraries are defined by other parts of the tree, possibly after this file: the tests that
# need them are added once everything is defined.
add_executable(cube_test ${CMAKE_CURRENT_LIST_DIR}/cube_test.cpp)
target_link_libraries(cube_test PRIVATE demo_core GTest::gtest_main)
gtest_discover_tests(cube_test)

set(DEMO_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
function(demo_tests_needing_other_parts)
  if(TARGET trelk_fake)
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
endfunction()
cmake_language(DEFER CALL demo_tests_needing_other_parts)
