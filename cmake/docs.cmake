# The reference: `cmake --build BUILD --target docs` writes BUILD/docs/html/index.html from the
# Doxygen comments of the public headers (trelk/*.h, and platform/midas.h installed as
# trelk/midas.h) and the examples (one page each, docs/examples.dox), when Doxygen is installed.
if(NOT PROJECT_IS_TOP_LEVEL)
  return()
endif()
find_package(Doxygen QUIET)
if(NOT DOXYGEN_FOUND)
  return()
endif()
set(DOXYGEN_PROJECT_NAME trelk)
set(DOXYGEN_PROJECT_BRIEF "Object layer and display library for pixel programs")
set(DOXYGEN_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/docs)
set(DOXYGEN_GENERATE_LATEX NO)
set(DOXYGEN_EXTRACT_ALL NO)
set(DOXYGEN_JAVADOC_AUTOBRIEF YES)
set(DOXYGEN_WARN_IF_UNDOCUMENTED YES)
set(DOXYGEN_EXAMPLE_PATH ${PROJECT_SOURCE_DIR}/examples)
set(DOXYGEN_FILE_PATTERNS *.h *.dox)
set(DOXYGEN_STRIP_FROM_PATH ${PROJECT_SOURCE_DIR})
set(DOXYGEN_USE_MDFILE_AS_MAINPAGE ${PROJECT_SOURCE_DIR}/docs/reference.md)
doxygen_add_docs(docs ${PROJECT_SOURCE_DIR}/trelk ${PROJECT_SOURCE_DIR}/platform/midas.h
  ${PROJECT_SOURCE_DIR}/docs/examples.dox ${PROJECT_SOURCE_DIR}/docs/reference.md
  COMMENT "Writing the reference into ${PROJECT_BINARY_DIR}/docs/html")
