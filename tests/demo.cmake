# The demo's tests: the cube effect, the picture loader, the frame loop over the recording
# display library, and the whole program as a process.
add_executable(cube_test ${CMAKE_CURRENT_LIST_DIR}/cube_test.cpp)
target_link_libraries(cube_test PRIVATE demo_core GTest::gtest_main)
gtest_discover_tests(cube_test)
