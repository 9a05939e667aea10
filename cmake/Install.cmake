# Installs the shared libraries and public headers with a CMake package config,
# so a host project can find_package(mpx_q770).
include(CMakePackageConfigHelpers)

set(_mpx_install_targets)
foreach(_t modeldb calibmod mpxspool)
  if(TARGET ${_t})
    list(APPEND _mpx_install_targets ${_t})
  endif()
endforeach()

if(_mpx_install_targets)
  install(TARGETS ${_mpx_install_targets} EXPORT mpx_q770Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT mpx_q770Targets NAMESPACE mpx::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mpx_q770)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/mpx_q770Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/mpx_q770Config.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mpx_q770)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/mpx_q770ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mpx_q770Config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/mpx_q770ConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/mpx_q770)
