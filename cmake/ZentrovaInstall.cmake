# Installation: library with its SONAME links, exported headers, pkg-config
# file and a CMake package config giving the imported target Zentrova::zentrova.
include(CMakePackageConfigHelpers)

install(TARGETS zentrova EXPORT ZentrovaTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

set(ZENTROVA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Zentrova)
install(EXPORT ZentrovaTargets NAMESPACE Zentrova:: DESTINATION ${ZENTROVA_CMAKE_DIR})
configure_package_config_file(packaging/ZentrovaConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfig.cmake
  INSTALL_DESTINATION ${ZENTROVA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ZentrovaConfigVersion.cmake
        DESTINATION ${ZENTROVA_CMAKE_DIR})

# The pkg-config file locates its prefix relative to itself, so an installed
# tree can be moved (or installed with --prefix at install time).
file(RELATIVE_PATH ZENTROVA_PC_TO_PREFIX
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(packaging/zentrova.pc.in ${CMAKE_CURRENT_BINARY_DIR}/zentrova.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/zentrova.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

file(GLOB _udev_rules CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/*.rules)
if(_udev_rules)
  install(FILES ${_udev_rules} DESTINATION lib/udev/rules.d)
endif()
