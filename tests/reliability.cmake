# Reliability: the demo under faults and bad input, its leaks and library objects, and its
# allocations per frame. The fuzz targets' corpus replays are added by fuzz/CMakeLists.txt; the
# long runs are in reliability.sh. See docs/reliability.md.
if(TARGET demo_core AND TARGET trelk_display AND TARGET midas AND TARGET assets)
  set(RELIABILITY_ASSETS ${TRELK_ASSETS_DIR})

  # In-process: library objects after WinMain, heap allocations per frame
  add_executable(reliability_frames ${CMAKE_CURRENT_LIST_DIR}/reliability_frames.cpp)
  target_link_libraries(reliability_frames PRIVATE demo_core trelk trelk_display midas
                        GTest::gtest GTest::gtest_main)
  target_compile_definitions(reliability_frames PRIVATE RELIABILITY_ASSETS="${RELIABILITY_ASSETS}")
  add_dependencies(reliability_frames assets)
  gtest_discover_tests(reliability_frames PROPERTIES TIMEOUT 300)

  # The real program under faults. Window cases run under a virtual X display, with leak
  # detection off there (SDL and X11 keep allocations for the life of the process)
  if(TARGET kelvra-demo)
    # Preloaded into the program to fail its Nth allocation. Built without the sanitizers
    # (their options removed from what the folder gives every target): it hands allocations on
    # to whichever allocator comes after it, the sanitizer's included
    add_library(fail_allocation MODULE ${CMAKE_CURRENT_LIST_DIR}/fail_allocation.cpp)
    get_target_property(fail_allocation_options fail_allocation COMPILE_OPTIONS)
    list(FILTER fail_allocation_options EXCLUDE REGEX "sanitize")
    set_target_properties(fail_allocation PROPERTIES COMPILE_OPTIONS "${fail_allocation_options}"
                          LINK_OPTIONS "")
    target_link_libraries(fail_allocation PRIVATE ${CMAKE_DL_LIBS})

    add_executable(reliability_faults ${CMAKE_CURRENT_LIST_DIR}/reliability_faults.cpp)
    target_link_libraries(reliability_faults PRIVATE GTest::gtest GTest::gtest_main util)
    target_compile_definitions(reliability_faults PRIVATE
      RELIABILITY_ASSETS="${RELIABILITY_ASSETS}" RELIABILITY_DEMO="$<TARGET_FILE:kelvra-demo>"
      RELIABILITY_FAIL_ALLOCATION="$<TARGET_FILE:fail_allocation>"
      RELIABILITY_RECORDER=$<BOOL:${TRELK_RECORDER}>)
    add_dependencies(reliability_faults kelvra-demo assets fail_allocation)
    gtest_discover_tests(reliability_faults TEST_FILTER "-*Window*" PROPERTIES TIMEOUT 300
                         ENVIRONMENT "DISPLAY=")
    add_window_test(reliability_faults_window
                    COMMAND $<TARGET_FILE:reliability_faults> --gtest_filter=*Window*)

    # A C program whose every allocation fails still ends with its message, not by the C
    # library's abort (keeping the message for trelk_last_error() must not allocate)
    if(TARGET c_errors)
      add_test(NAME c_errors.out_of_memory
               COMMAND ${run_program} 1 "(out of memory|invalid area handle: [^\n]*)\n"
                       env LD_PRELOAD=$<TARGET_FILE:fail_allocation> FAIL_ALLOCATION=1
                       FAIL_ALLOCATION_ONWARD=1
                       ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0
                       $<TARGET_FILE:c_errors> default)
    endif()

    # A headless run of 1,000 frames under LeakSanitizer (in the sanitizer build): nothing
    # may be reported as leaked
    add_test(NAME reliability_leaks_1000_frames COMMAND kelvra-demo
             WORKING_DIRECTORY ${RELIABILITY_ASSETS})
    set_tests_properties(reliability_leaks_1000_frames PROPERTIES TIMEOUT 300 ENVIRONMENT
      "TRELK_DISPLAY=headless;TRELK_FRAMES=1000;ASAN_OPTIONS=detect_leaks=1")
  endif()
endif()

# Reproducers of fuzzing findings, as plain tests
if(TARGET midas AND TARGET assets)
  add_executable(reliability_findings ${CMAKE_CURRENT_LIST_DIR}/reliability_findings.cpp)
  target_link_libraries(reliability_findings PRIVATE midas GTest::gtest GTest::gtest_main)
  target_compile_definitions(reliability_findings PRIVATE
    RELIABILITY_ASSETS="${TRELK_ASSETS_DIR}" RELIABILITY_FUZZ_DIR="${PROJECT_SOURCE_DIR}/fuzz")
  add_dependencies(reliability_findings assets)
  gtest_discover_tests(reliability_findings PROPERTIES TIMEOUT 60)
endif()
