# Debian packages, one per install component (scripts/package.sh):
# libtallowcam (Runtime), libtallowcam-dev (Development) and tallowcam-tools (Tools).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallowcam)
set(CPACK_PACKAGE_VENDOR "Tallowcam")
set(CPACK_PACKAGE_CONTACT "Tallowcam developers <developers@tallowcam.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtallowcam)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Capture driver plug-in for Canon network cameras
The plug-in a network video recorder loads to record Canon network cameras:
live H.264 and Motion JPEG over RTSP/RTP, G.711 audio in and out, PTZ with
presets, motion events, digital I/O, camera clock synchronisation and a
capability query.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtallowcam-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Capture driver plug-in for Canon network cameras - host headers
The headers of the contract between a recorder and the Tallowcam plug-in, and
a pkg-config file and a CMake package that name the installed plug-in.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tallowcam-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION video)
set(CPACK_COMPONENT_TOOLS_DEPENDS Runtime)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Capture driver plug-in for Canon network cameras - tools
tallowcam, a command-line host that probes, records and controls cameras
through the plug-in, and camsim, a simulated Canon network camera.")

# Each package's documentation as Debian has it: the licence in a machine-readable copyright file,
# and a changelog with this version's entry.
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian
  "tallowcam (${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) stable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  ${changelog_date}\n")
execute_process(COMMAND gzip -9nf changelog.Debian WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR} COMMAND_ERROR_IS_FATAL ANY)
foreach(component Runtime Development Tools)
  string(TOUPPER ${component} upper)
  install(FILES cmake/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
endforeach()

include(CPack)
