# The display library as the Windows DLL trelk.dll. It exports every numbered entry of
# trelk/library.h at its number as the export ordinal, and by name; the project's own
# functions (the colour and error entries, trelk/display.h, trelk/graphics.h, trelk/input.h, the
# entries' twins for C callers of trelk/c_entries.h, the test-facing counters) and the members of
# trelk::DynamicError by name.
# The module-definition file is written from the headers at build time (windows_exports.cmake),
# so a new entry cannot be left out. Two import libraries:
#   libtrelk_display.dll.a   by name, installed, for programs (target trelk::display)
#   libtrelk_by_number.a     the numbered entries by ordinal alone, for the demo, which reaches
#                            the library by entry number only (target trelk_display_by_number)
# The mingw-w64 tools: named by the toolchain file when cross-building, found beside the
# compiler when building on Windows itself (MSYS2)
foreach(tool NM DLLTOOL)
  if(NOT CMAKE_${tool})
    string(TOLOWER ${tool} tool_name)
    get_filename_component(compiler_folder ${CMAKE_CXX_COMPILER} DIRECTORY)
    find_program(CMAKE_${tool} NAMES ${tool_name} HINTS ${compiler_folder} REQUIRED)
  endif()
endforeach()
add_library(trelk_error_objects OBJECT ${PROJECT_SOURCE_DIR}/trelk/error.cpp)
target_include_directories(trelk_error_objects PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_features(trelk_error_objects PRIVATE cxx_std_17)

set(trelk_def ${PROJECT_BINARY_DIR}/trelk.def)
set(trelk_ordinal_def ${PROJECT_BINARY_DIR}/trelk_by_number.def)
set(trelk_export_headers ${PROJECT_SOURCE_DIR}/trelk/display.h ${PROJECT_SOURCE_DIR}/trelk/graphics.h
    ${PROJECT_SOURCE_DIR}/trelk/input.h ${PROJECT_SOURCE_DIR}/trelk/c_entries.h
    ${PROJECT_SOURCE_DIR}/platform/display/test_counters.h)
add_custom_command(
  OUTPUT ${trelk_def} ${trelk_ordinal_def}
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=trelk.dll
          -DNUMBERED=${PROJECT_SOURCE_DIR}/trelk/library.h
          "-DNAMED=${trelk_export_headers}" "-DPATTERN=trelk_[a-z0-9_]+"
          -DNM=${CMAKE_NM} "-DOBJECTS=$<TARGET_OBJECTS:trelk_error_objects>"
          -DNAMESPACE=_ZN[K]?5trelk
          -DDEF=${trelk_def} -DORDINAL_DEF=${trelk_ordinal_def}
          -P ${PROJECT_SOURCE_DIR}/cmake/windows_exports.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/trelk/library.h ${trelk_export_headers}
          ${PROJECT_SOURCE_DIR}/cmake/windows_exports.cmake
          $<TARGET_OBJECTS:trelk_error_objects>
  COMMENT "Writing the export table of trelk.dll from its headers"
  VERBATIM)
add_custom_target(trelk_exports DEPENDS ${trelk_def} ${trelk_ordinal_def})
add_dependencies(trelk_exports trelk_error_objects)
add_dependencies(trelk_display trelk_exports)
target_sources(trelk_display PRIVATE $<TARGET_OBJECTS:trelk_error_objects>
               ${PROJECT_SOURCE_DIR}/platform/display/trelk.rc)
target_include_directories(trelk_display PRIVATE ${KELVRA_GENERATED_DIR})  # for trelk.rc
target_link_options(trelk_display PRIVATE ${trelk_def})
set_property(TARGET trelk_display APPEND PROPERTY LINK_DEPENDS ${trelk_def})
set_target_properties(trelk_display PROPERTIES PREFIX "" OUTPUT_NAME trelk
                      ARCHIVE_OUTPUT_NAME trelk_display)

set(trelk_by_number ${PROJECT_BINARY_DIR}/libtrelk_by_number.a)
add_custom_command(
  OUTPUT ${trelk_by_number}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${trelk_ordinal_def} --dllname trelk.dll
          --output-lib ${trelk_by_number}
  DEPENDS ${trelk_ordinal_def}
  COMMENT "Making the demo's import library of trelk.dll by entry number"
  VERBATIM)
add_custom_target(trelk_by_number_library DEPENDS ${trelk_by_number})
add_library(trelk_display_by_number INTERFACE)
target_link_libraries(trelk_display_by_number INTERFACE ${trelk_by_number})
add_dependencies(trelk_display_by_number trelk_by_number_library trelk_display)
