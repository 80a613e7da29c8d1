# Installation of the three programs and the Debian package (cpack -G DEB, or
# scripts/package.sh): startzel_<version>_<arch>.deb installing under /usr.
# The data files, manual pages, menu entry, icon and udev rule are installed by
# data/CMakeLists.txt.
include(GNUInstallDirs)
install(TARGETS startzel startzel-cli startzel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME startzel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "StartZel for Linux developers")
set(CPACK_PACKAGE_CONTACT "${ZEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "service tool for fuel-dispenser controllers on RS-485 lines")
set(CPACK_PACKAGE_DESCRIPTION
  "A desktop program with which a field engineer configures fuel-dispenser
controllers over an RS-485 line (a serial port, a USB-RS485 converter or a
TCP serial server): identification, controller and channel settings, side
addressing, controller images, the line search and a demo mode. The package
also holds startzel-cli, a command-line front end with an environment check
and a traffic-trace decoder, and startzel-sim, a virtual controller.
The user interface is in Russian.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps; the Qt platform plugins are no
# library the programs link, but the window cannot open without them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# USB converters and the key need libusb 0.1, loaded at run time, and Qt's own
# buttons speak Russian with Qt's translations; the program runs without either.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libusb-0.1-4, qt6-translations-l10n")
include(CPack)
