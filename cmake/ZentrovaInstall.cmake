# Installation, in components that `cmake --install BUILD --component NAME`
# installs one at a time (the Debian packages are cut along them):
#
#   runtime      libzentrova.so.1, the udev rule and the AppStream metainfo
#                naming the mice it is for
#   development  headers, the libzentrova.so link, zentrova.pc, the CMake package
#   tools        the zentrova command (and whatever else names no component)
#   simulator    zentrova-sim (sim/CMakeLists.txt; ZENTROVA_INSTALL_SIM)
include(CMakePackageConfigHelpers)

install(TARGETS zentrova EXPORT ZentrovaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development
  FILES_MATCHING PATTERN "*.h")
install(FILES ${ZENTROVA_VERSION_HEADER} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zentrova COMPONENT development)

set(ZENTROVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zentrova)
install(EXPORT ZentrovaTargets NAMESPACE Zentrova:: DESTINATION ${ZENTROVA_CMAKE_DIR} COMPONENT development)
configure_package_config_file(packaging/ZentrovaConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfig.cmake
  INSTALL_DESTINATION ${ZENTROVA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfigVersion.cmake
        DESTINATION ${ZENTROVA_CMAKE_DIR} COMPONENT development)

# The pkg-config file locates its prefix relative to itself, so an installed
# tree can be moved (or installed with --prefix at install time).
file(RELATIVE_PATH ZENTROVA_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(packaging/zentrova.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zentrova.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zentrova.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# udev reads its rules from udev's own folder (pkg-config --variable=udevdir
# udev) and /etc/udev/rules.d, never from below /usr/local: installed under
# /usr the rule goes to udev's folder, elsewhere below the prefix.
set(_udev_rules_dir lib/udev/rules.d)
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  pkg_get_variable(_udevdir udev udevdir)
  if(_udevdir)
    set(_udev_rules_dir ${_udevdir}/rules.d)
  endif()
endif()
set(ZENTROVA_UDEV_RULES_DIR ${_udev_rules_dir} CACHE STRING "Where the udev rule is installed")
install(FILES packaging/70-zentrova.rules DESTINATION ${ZENTROVA_UDEV_RULES_DIR} COMPONENT runtime)
install(FILES packaging/example.zentrova.libzentrova.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/metainfo COMPONENT runtime)
