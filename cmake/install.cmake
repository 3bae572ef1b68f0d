# cmake --install: the tools with their manual pages, the translated texts the help viewer
# shows, and the toolkit as a dependency of other programs: its libraries and headers and a
# package configuration, so that a program builds with
#   find_package(ZarvoToolkit REQUIRED)
#   target_link_libraries(app PRIVATE ZarvoToolkit::toolkit)
# setup itself ships inside a distribution (sample/make-dist.sh) and is not installed.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The module libraries and the umbrella target that links them all.
set(ZARVO_TOOLKIT_LIBRARIES runtime syscmd dbm nls textmenu htmlhelp toolkit)
set(ZARVO_TOOLKIT_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/zarvo-toolkit)
set(ZARVO_TOOLKIT_LIBDIR ${CMAKE_INSTALL_LIBDIR}/zarvo-toolkit)
set(ZARVO_TOOLKIT_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZarvoToolkit)

# Programs using the toolkit include "toolkit/<module>/<header>.h"; every module stands on
# runtime, so what runtime passes on reaches every program that links a module.
target_include_directories(runtime INTERFACE
    $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}> $<INSTALL_INTERFACE:${ZARVO_TOOLKIT_INCLUDEDIR}>)
# A sanitizer build's libraries need the sanitizer runtime in every program linking them.
if(SANITIZE)
  target_link_options(runtime INTERFACE -fsanitize=address,undefined)
endif()

install(TARGETS ${ZARVO_TOOLKIT_LIBRARIES} EXPORT ZarvoToolkitTargets
        ARCHIVE DESTINATION ${ZARVO_TOOLKIT_LIBDIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/toolkit/ DESTINATION ${ZARVO_TOOLKIT_INCLUDEDIR}/toolkit
        FILES_MATCHING PATTERN "*.h" PATTERN catalog EXCLUDE)
install(EXPORT ZarvoToolkitTargets NAMESPACE ZarvoToolkit:: DESTINATION ${ZARVO_TOOLKIT_CMAKEDIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ZarvoToolkitConfig.cmake.in
    ${CMAKE_BINARY_DIR}/ZarvoToolkitConfig.cmake INSTALL_DESTINATION ${ZARVO_TOOLKIT_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZarvoToolkitConfigVersion.cmake
    VERSION 1.0 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZarvoToolkitConfig.cmake
              ${CMAKE_BINARY_DIR}/ZarvoToolkitConfigVersion.cmake
        DESTINATION ${ZARVO_TOOLKIT_CMAKEDIR})

install(TARGETS nlscat odbtool helpview RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/doc/nlscat.1 ${CMAKE_SOURCE_DIR}/doc/odbtool.1
              ${CMAKE_SOURCE_DIR}/doc/helpview.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The help viewer's own texts (menu items, title) in every language: helpview finds them in
# ../share/zarvo-toolkit/nls next to itself.
install(DIRECTORY ${CMAKE_BINARY_DIR}/nls/ DESTINATION ${CMAKE_INSTALL_DATADIR}/zarvo-toolkit/nls
        FILES_MATCHING PATTERN trans.conf PATTERN CoreString.odb)

