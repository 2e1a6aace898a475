# Installation: the library, its public headers in their folders, pagelift,
# the message compiler twmsgcmp and the library's message catalogues,
# a CMake package (find_package(twlib) gives twlib::twlib) and a pkg-config
# file. Headers meant for the library's own tests and internals (names ending
# in _testhook.h or _internal.h) stay behind.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS twlib EXPORT twlibTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS pagelift twmsgcmp RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The library's message catalogues, compiled and as headers. A program finds
# the compiled ones through the file search (WDIR, its own directory...);
# without them it uses the copies compiled into the library.
install(FILES ${TW_CATALOGUE_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/twlib)
foreach(catalogue ${TW_CATALOGUES})
  install(FILES ${PROJECT_SOURCE_DIR}/twlib/err/catalog/${catalogue}.msg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/twlib)
endforeach()
foreach(dir twlib tslib)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${dir}
          FILES_MATCHING PATTERN "*.h"
          PATTERN "*_testhook.h" EXCLUDE PATTERN "*_internal.h" EXCLUDE
          PATTERN "sizecheck.h" EXCLUDE PATTERN "chars.h" EXCLUDE)
endforeach()

set(TW_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/twlib)
install(EXPORT twlibTargets NAMESPACE twlib:: DESTINATION ${TW_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/twlibConfig.cmake.in
                              ${PROJECT_BINARY_DIR}/twlibConfig.cmake
                              INSTALL_DESTINATION ${TW_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/twlibConfigVersion.cmake
                                 VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/twlibConfig.cmake ${PROJECT_BINARY_DIR}/twlibConfigVersion.cmake
        DESTINATION ${TW_CMAKE_DIR})

# pkg-config: C programs also link the C++ runtime the library needs.
file(RELATIVE_PATH TW_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/twlib.pc.in ${PROJECT_BINARY_DIR}/twlib.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/twlib.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
