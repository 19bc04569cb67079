# Reliability: the demo under faults and bad input, its leaks and library objects, and its
# allocations per frame. The fuzz targets' corpus replays are added by fuzz/CMakeLists.txt; the
# long runs are in reliability.sh. See docs/reliability.md.
if(TARGET demo_core AND TARGET trelk_display AND TARGET midas AND TARGET assets)
  set(RELIABILITY_ASSETS ${CMAKE_BINARY_DIR}/assets)

  # In-process: library objects after WinMain, heap allocations per frame
  add_executable(reliability_frames ${CMAKE_CURRENT_LIST_DIR}/reliability_frames.cpp)
  target_link_libraries(reliability_frames PRIVATE demo_core trelk trelk_display midas
                        GTest::gtest GTest::gtest_main)
  target_compile_definitions(reliability_frames PRIVATE RELIABILITY_ASSETS="${RELIABILITY_ASSETS}")
  add_dependencies(reliability_frames assets)
  gtest_discover_tests(reliability_frames PROPERTIES TIMEOUT 300)
endif()

# Reproducers of fuzzing findings, as plain tests
if(TARGET midas AND TARGET assets)
  add_executable(reliability_findings ${CMAKE_CURRENT_LIST_DIR}/reliability_findings.cpp)
  target_link_libraries(reliability_findings PRIVATE midas GTest::gtest GTest::gtest_main)
  target_compile_definitions(reliability_findings PRIVATE
    RELIABILITY_ASSETS="${CMAKE_BINARY_DIR}/assets" RELIABILITY_FUZZ_DIR="${CMAKE_SOURCE_DIR}/fuzz")
  add_dependencies(reliability_findings assets)
  gtest_discover_tests(reliability_findings PROPERTIES TIMEOUT 60)
endif()
