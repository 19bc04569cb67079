# The suite's own scripts: test.sh's stage times and the fuzz runner's verdict
find_program(SUITE_BASH bash)
if(SUITE_BASH)
  add_test(NAME suite_scripts
           COMMAND ${SUITE_BASH} ${CMAKE_CURRENT_LIST_DIR}/suite_scripts_test.sh ${PROJECT_SOURCE_DIR})
endif()
