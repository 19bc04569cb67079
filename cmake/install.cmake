# What `cmake --install` puts under the prefix:
#   include/trelk/*.h                         the public headers (trelk/trelk.h includes them all)
#   lib/libtrelk.a                            the object layer
#   lib/libtrelk_display.a, or .so.1.0.0 with BUILD_SHARED_LIBS: the display library
#   lib/trelk/trelk_recorder.so               its recorder module, when built (TRELK_RECORDER);
#                                             opened only by a program that records
#   lib/cmake/trelk/                          the CMake package: find_package(trelk), target trelk::trelk
#   lib/pkgconfig/trelk.pc                    pkg-config trelk
# and, when the music library is built (TRELK_MUSIC), its own component "midas":
#   include/trelk/midas.h, lib/libtrelk_midas.a, lib/pkgconfig/trelk-midas.pc, and the CMake
#   target trelk::midas of find_package(trelk COMPONENTS midas)
include(CMakePackageConfigHelpers)

set(trelk_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/trelk)

list(TRANSFORM TRELK_PUBLIC_HEADERS PREPEND ${PROJECT_SOURCE_DIR}/trelk/)
install(FILES ${TRELK_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/trelk)

install(TARGETS trelk trelk_display trelk_trelk EXPORT trelkTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT trelkTargets NAMESPACE trelk:: DESTINATION ${trelk_cmake_dir})
# No program links the recorder module: it is not exported, only put where the display library
# looks for it (platform/display/recorder_loader.cpp)
if(TARGET trelk_recorder)
  install(TARGETS trelk_recorder LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/trelk)
endif()

# The config file finds what an archive of the display library still needs at link time
get_target_property(trelk_display_type trelk_display TYPE)
# The C++ runtime the libraries were built with: a C program's link needs it named (cc links
# no C++ runtime of its own), and the maths library with it
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT APPLE)
  set(trelk_cxx_runtime "-lstdc++ -lm")
else()
  set(trelk_cxx_runtime "")
endif()
if(trelk_display_type STREQUAL "STATIC_LIBRARY")
  set(TRELK_STATIC ON)
  # Plain `pkg-config --libs trelk` must name all an archive needs: SDL2, libpng, the runtime
  set(TRELK_PC_REQUIRES "Requires")
  set(TRELK_PC_LIBS "-ltrelk -ltrelk_display ${trelk_cxx_runtime}")
  set(TRELK_PC_LIBS_PRIVATE "")
else()
  set(TRELK_STATIC OFF)
  set(TRELK_PC_REQUIRES "Requires.private")
  # The shared library brings its own runtime, and is found where it was installed without
  # LD_LIBRARY_PATH (a run path to the library folder), unless that folder is one the system
  # searches anyway (a system install, /usr): there a run path is only in the way
  set(TRELK_PC_LIBS "-Wl,-rpath,\${libdir} -ltrelk -ltrelk_display")
  if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
    set(TRELK_PC_LIBS "-ltrelk -ltrelk_display")
  endif()
  set(TRELK_PC_LIBS_PRIVATE "${trelk_cxx_runtime}")
endif()
# (the recorder's libraries are its module's, opened at run time: nothing to link)
set(TRELK_PC_REQUIRES_LINE "${TRELK_PC_REQUIRES}: sdl2 libpng")
if(TRELK_RECORDER AND TRELK_STATIC AND CMAKE_DL_LIBS)
  # and the loader of the recorder module
  string(APPEND TRELK_PC_LIBS " -l${CMAKE_DL_LIBS}")
endif()
if(WIN32 AND NOT TRELK_STATIC)
  # trelk.dll brings SDL2, libpng and the runtimes with it, and is found beside the program:
  # a program needs neither their package files nor a run path
  set(TRELK_PC_REQUIRES_LINE "")
  set(TRELK_PC_LIBS "-ltrelk -ltrelk_display")
  set(TRELK_PC_LIBS_PRIVATE "")
endif()
# The music library as an archive (or, on Windows, a DLL that needs nothing at link time)
set(TRELK_MIDAS_STATIC OFF)
if(TARGET midas)
  get_target_property(trelk_midas_type midas TYPE)
  if(trelk_midas_type STREQUAL "STATIC_LIBRARY")
    set(TRELK_MIDAS_STATIC ON)
  endif()
endif()
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/trelkConfig.cmake.in
  ${PROJECT_BINARY_DIR}/trelkConfig.cmake INSTALL_DESTINATION ${trelk_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/trelkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/trelkConfig.cmake ${PROJECT_BINARY_DIR}/trelkConfigVersion.cmake
  DESTINATION ${trelk_cmake_dir})

# The pkg-config file finds the prefix from where it lies, so an installed tree can be moved
file(RELATIVE_PATH TRELK_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" TRELK_PC_TO_PREFIX "${TRELK_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/trelk.pc.in ${PROJECT_BINARY_DIR}/trelk.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/trelk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET midas)
  install(FILES ${PROJECT_SOURCE_DIR}/platform/midas.h
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/trelk COMPONENT midas)
  install(TARGETS midas EXPORT trelkMidasTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT midas
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT midas
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT midas)
  install(EXPORT trelkMidasTargets NAMESPACE trelk:: DESTINATION ${trelk_cmake_dir}
          COMPONENT midas)
  # The archive needs libxmp and SDL2 (and the C++ runtime, for a C program) when linked;
  # midas.dll (Windows) brings them with it
  if(TRELK_MIDAS_STATIC)
    set(TRELK_MIDAS_PC_REQUIRES_LINE "Requires: libxmp sdl2")
    set(TRELK_MIDAS_PC_LIBS "-ltrelk_midas ${trelk_cxx_runtime}")
  else()
    set(TRELK_MIDAS_PC_REQUIRES_LINE "")
    get_target_property(trelk_midas_name midas OUTPUT_NAME)
    if(NOT trelk_midas_name)
      set(trelk_midas_name midas)
    endif()
    set(TRELK_MIDAS_PC_LIBS "-l${trelk_midas_name}")
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/trelk-midas.pc.in ${PROJECT_BINARY_DIR}/trelk-midas.pc
                 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/trelk-midas.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT midas)
endif()

# CMake has no uninstall of its own: this one removes what install_manifest.txt lists
if(PROJECT_IS_TOP_LEVEL AND NOT TARGET uninstall)
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DCMAKE_BINARY_DIR=${PROJECT_BINARY_DIR}
            -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing what the last install put in place")
endif()
