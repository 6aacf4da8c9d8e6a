# SPDX-License-Identifier: GPL-3.0-or-later
# A Debian package of what `cmake --install` puts in place, under /usr: `cpack -G DEB` in the
# build folder writes vendrel_<version>_<architecture>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vendrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pellix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "GSM modem test console (${PROJECT_DESCRIPTION})")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian ships programs without their debugging sections.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pellix support <support@pellix.example>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.pellix.example")
# comm: programs for faxmodems and other communication devices.
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The long text under the synopsis (the summary above); CPack indents its lines as the control
# file wants, by one blank: a line here holds 79 characters at most (Debian Policy 3.4.1).
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Vendrel drives a GSM modem or mobile phone on a serial port through the Pellix\n"
  "modem library (AT commands of 3GPP TS 27.005/27.007, SMS in PDU mode): text\n"
  "messages and delivery reports, the SIM phonebook, call forwarding, incoming\n"
  "calls and the signal. A built-in virtual modem answers when no modem is at\n"
  "hand. The command line program pellix drives a modem from scripts.")
# No architecture is set: CPack asks `dpkg --print-architecture`, which is the one the programs
# were built for.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link (Qt, the C++ runtime), as dpkg-shlibdeps (dpkg-dev) finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the console starts rather than links: every help button opens Pellix.CHM in xchm, so the
# viewer is part of the program. Documents, folders and web addresses go through the desktop's
# own opener, which xdg-utils provides on most desktops but which some bring themselves.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xchm")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")

# What Debian asks of every package's documentation folder: the licence (machine-readable), the
# changelog compressed as dpkg compresses it, and the notes for the administrator.
set(PELLIX_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
find_program(PELLIX_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${PELLIX_CHANGELOG_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${CMAKE_COMMAND} -DGZIP=${PELLIX_GZIP} -DIN=${PROJECT_SOURCE_DIR}/packaging/changelog -DOUT=${PELLIX_CHANGELOG_GZ}
          -P ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog ${PROJECT_SOURCE_DIR}/cmake/gzip.cmake
  VERBATIM)
add_custom_target(pellix_changelog ALL DEPENDS ${PELLIX_CHANGELOG_GZ})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/packaging/README.Debian ${PELLIX_CHANGELOG_GZ}
        DESTINATION share/doc/vendrel)

# pellix exporter as a service, not enabled by the package. The unit goes under the prefix
# (/usr/lib/systemd/system in the package), where systemd on Debian 12 reads it as it reads
# /lib/systemd/system, so that `cmake --install --prefix` never writes outside the prefix.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/pellix-exporter.service DESTINATION lib/systemd/system)
# What an administrator copies and adapts: the service's options, the scrape job and alert rules.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/pellix-exporter.default ${PROJECT_SOURCE_DIR}/packaging/prometheus-pellix.yml
              ${PROJECT_SOURCE_DIR}/packaging/pellix-alerts.yml
        DESTINATION share/doc/vendrel/examples)

include(CPack)
