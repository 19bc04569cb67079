# The music library's tests: its entries and mixer in-process, its XM structure check, and a
# tiny program run as a real process that leaves without closing, to prove a clean exit.
if(TARGET midas)
  set(MUSIC_MODULE ${TRELK_ASSETS_DIR}/bla.xm)

  add_executable(music_tests ${CMAKE_CURRENT_LIST_DIR}/music_entries.cpp)
  target_link_libraries(music_tests PRIVATE midas PkgConfig::SDL2 PkgConfig::XMP GTest::gtest_main)
  target_compile_definitions(music_tests PRIVATE TRELK_ASSETS_DIR="${TRELK_ASSETS_DIR}")
  if(TARGET assets)
    add_dependencies(music_tests assets)
  endif()
  gtest_discover_tests(music_tests PROPERTIES TIMEOUT 120)

  if(TARGET asset_generators)
    add_executable(music_xm_check_tests ${CMAKE_CURRENT_LIST_DIR}/music_xm_check.cpp)
    target_link_libraries(music_xm_check_tests PRIVATE midas asset_generators GTest::gtest_main)
    gtest_discover_tests(music_xm_check_tests)
  endif()

  add_executable(music_exit_program ${CMAKE_CURRENT_LIST_DIR}/music_exit_program.cpp)
  target_link_libraries(music_exit_program PRIVATE midas PkgConfig::SDL2)
  # name | module | how it ends | audio driver
  foreach(run
      "disk_audio_skip_close|${MUSIC_MODULE}|skip-close|disk"
      "disk_audio_close|${MUSIC_MODULE}|close|disk"
      "no_audio_skip_close|${MUSIC_MODULE}|skip-close|no-such-driver"
      "missing_module_skip_close|${TRELK_ASSETS_DIR}/no-such.xm|skip-close|disk")
    string(REPLACE "|" ";" fields "${run}")
    list(GET fields 0 name)
    list(GET fields 1 module)
    list(GET fields 2 ending)
    list(GET fields 3 driver)
    add_test(NAME music_exit.${name} COMMAND music_exit_program ${module} ${ending})
    set_tests_properties(music_exit.${name} PROPERTIES TIMEOUT 60 ENVIRONMENT
      "SDL_AUDIODRIVER=${driver};SDL_DISKAUDIOFILE=${CMAKE_CURRENT_BINARY_DIR}/music_exit_${name}.raw")
  endforeach()
endif()
