# Packages, built with "cmake --build --preset <p> --target package":
# native, a Debian package with /usr/bin/dulvet and its manual page;
# windows, Dulvet-<version>-win64.zip with Dulvet.exe, console\dulvet.exe
# and the README. The version is the project's.
set(CPACK_PACKAGE_NAME dulvet)
set(CPACK_PACKAGE_VENDOR "Dulvet project")
set(CPACK_PACKAGE_CONTACT "Dulvet project")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "UDP relay that emulates a poor network link (delay and loss)")
set(CPACK_PACKAGE_DESCRIPTION
    "Dulvet sits between UDP clients and a UDP server: each client datagram waits a fixed delay and one in every N is dropped; the server's replies go back to the client that sent last.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "Dulvet-${PROJECT_VERSION}-win64")
  install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # dpkg-shlibdeps, from dpkg-dev
endif()

include(CPack)
