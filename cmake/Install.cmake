# What `cmake --install` puts where, in three components that become the three packages:
# Runtime (the plug-in), Development (headers, pkg-config file, CMake package) and
# Tools (tallowcam, camsim, their sample media and man pages).
include(CMakePackageConfigHelpers)

install(TARGETS tallowcam LIBRARY DESTINATION ${TALLOWCAM_PLUGIN_INSTALL_DIR} COMPONENT Runtime)

install(DIRECTORY include/tallowcam DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)
set(TALLOWCAM_PLUGIN_FILE_NAME ${CMAKE_SHARED_LIBRARY_PREFIX}tallowcam${CMAKE_SHARED_LIBRARY_SUFFIX})
list(TRANSFORM CMAKE_DL_LIBS PREPEND -l OUTPUT_VARIABLE TALLOWCAM_HOST_LIBS)
# The host loads the plug-in at run time (variable plugin) and links only what loading needs.
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
  set(man_pages)
  set(tallowcam_host_program tallowcam)
  set(tallowcam_host_summary "command-line host for the Tallowcam capture driver")
  set(camsim_program camsim)
  set(camsim_summary "simulated Canon network camera")
  foreach(tool tallowcam_host camsim)
    set(program ${${tool}_program})
    set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory man
      COMMAND ${HELP2MAN} --no-info --name=${${tool}_summary} --output=man/${program}.1 $<TARGET_FILE:${tool}>
      COMMAND gzip -9nf man/${program}.1
      DEPENDS ${tool} VERBATIM)
    list(APPEND man_pages ${page})
  endforeach()
  add_custom_target(man_pages ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tools)
endif()
