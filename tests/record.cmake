# TRELK_RECORD on the real program, its videos read back with FFmpeg's programs; only where the
# display library was built with the recorder and those programs are here
find_program(FFMPEG_PROGRAM ffmpeg)
find_program(FFPROBE_PROGRAM ffprobe)
if(TRELK_RECORDER AND FFMPEG_PROGRAM AND FFPROBE_PROGRAM AND TARGET kelvra-demo AND TARGET midas
   AND TARGET assets)
  add_executable(record_test ${CMAKE_CURRENT_LIST_DIR}/record_test.cpp)
  target_link_libraries(record_test PRIVATE midas GTest::gtest_main util)
  target_compile_definitions(record_test PRIVATE RECORD_DEMO="$<TARGET_FILE:kelvra-demo>"
    RECORD_ASSETS="${TRELK_ASSETS_DIR}" RECORD_TESTS_DIR="${CMAKE_CURRENT_LIST_DIR}"
    RECORD_INSTALLED_MODULE="${CMAKE_INSTALL_FULL_LIBDIR}/trelk/trelk_recorder.so"
    RECORD_MODULE="$<TARGET_FILE:trelk_recorder>")
  add_dependencies(record_test kelvra-demo assets)
  gtest_discover_tests(record_test PROPERTIES TIMEOUT 300)
endif()
