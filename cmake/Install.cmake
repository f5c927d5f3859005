# What `cmake --install` puts where, in three components that become the three packages:
# Runtime (the plug-in), Development (headers, pkg-config file, CMake package) and
# Tools (tallowcam, camsim, their sample media and man pages).
include(CMakePackageConfigHelpers)

install(TARGETS tallowcam LIBRARY DESTINATION ${TALLOWCAM_PLUGIN_INSTALL_DIR} COMPONENT Runtime)

install(DIRECTORY include/tallowcam DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
# The host loads the plug-in at run time (variable plugin) and links only what loading needs.
list(TRANSFORM CMAKE_DL_LIBS PREPEND -l OUTPUT_VARIABLE TALLOWCAM_HOST_LIBS)
configure_file(cmake/tallowcam.pc.in tallowcam.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tallowcam.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT Development)
set(TALLOWCAM_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tallowcam)
configure_package_config_file(cmake/tallowcamConfig.cmake.in tallowcamConfig.cmake
  INSTALL_DESTINATION ${TALLOWCAM_CMAKE_INSTALL_DIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR TALLOWCAM_PLUGIN_INSTALL_DIR)
write_basic_package_version_file(tallowcamConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tallowcamConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/tallowcamConfigVersion.cmake
        DESTINATION ${TALLOWCAM_CMAKE_INSTALL_DIR} COMPONENT Development)

install(TARGETS tallowcam_host camsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Tools)
install(DIRECTORY tests/data/media/ DESTINATION ${TALLOWCAM_MEDIA_INSTALL_DIR} COMPONENT Tools)

# Man pages made from each program's --help and --version.
option(TALLOWCAM_MAN_PAGES "Make and install the tools' man pages (needs help2man)" OFF)
if(TALLOWCAM_MAN_PAGES)
  find_program(HELP2MAN help2man REQUIRED)
  function(add_man_page target program summary)
    set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory man
      COMMAND ${HELP2MAN} --no-info --name=${summary} --output=man/${program}.1 $<TARGET_FILE:${target}>
      COMMAND gzip -9nf man/${program}.1
      DEPENDS ${target} VERBATIM)
    add_custom_target(${program}_man_page ALL DEPENDS ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tools)
  endfunction()
  add_man_page(tallowcam_host tallowcam "command-line host for the Tallowcam capture driver")
  add_man_page(camsim camsim "simulated Canon network camera")
endif()
