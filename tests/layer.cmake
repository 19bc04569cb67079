# The object layer's tests: value objects, surfaces and the console, over trelk_fake, a
# recording test double of the display library.
if(TARGET trelk)
  add_library(trelk_fake STATIC ${CMAKE_CURRENT_LIST_DIR}/fake_library.cpp)
  # The double implements the entries, so it carries the code of the exception they throw
  target_sources(trelk_fake PRIVATE ${PROJECT_SOURCE_DIR}/trelk/error.cpp)
  target_link_libraries(trelk_fake PUBLIC trelk)

  add_executable(layer_tests
    ${CMAKE_CURRENT_LIST_DIR}/layer_values.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer_surfaces.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer_surface.cpp
    ${CMAKE_CURRENT_LIST_DIR}/layer_console.cpp)
  target_link_libraries(layer_tests PRIVATE trelk trelk_fake GTest::gmock GTest::gtest GTest::gtest_main)
  gtest_discover_tests(layer_tests)
endif()
