# Tests of our generated picture and module: read back by tools we did not write (PIL, libxmp,
# and Debian's xmp and openmpt123 players), and the generators' determinism and errors.
if(TARGET asset_generators AND TARGET PkgConfig::XMP)
  find_program(ASSETS_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
  add_executable(assets_tests ${CMAKE_CURRENT_LIST_DIR}/assets_files.cpp)
  target_link_libraries(assets_tests PRIVATE asset_generators PkgConfig::XMP GTest::gtest_main)
  target_compile_definitions(assets_tests PRIVATE
    TRELK_ASSETS_DIR="${TRELK_ASSETS_DIR}"
    ASSETS_PYTHON="${ASSETS_PYTHON}"
    ASSETS_READ_PICTURE="${CMAKE_CURRENT_LIST_DIR}/assets_read_picture.py"
    MAKE_MODULE="$<TARGET_FILE:make_module>"
    MAKE_PICTURE="$<TARGET_FILE:make_picture>")
  add_dependencies(assets_tests assets)
  gtest_discover_tests(assets_tests PROPERTIES TIMEOUT 120)

  add_test(NAME assets_players
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/assets_check_players.sh ${TRELK_ASSETS_DIR}/bla.xm
            ${CMAKE_CURRENT_BINARY_DIR}/assets_players)
  set_tests_properties(assets_players PROPERTIES TIMEOUT 120)
endif()
