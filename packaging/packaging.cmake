# Debian packages, one per install component: `cpack -G DEB` in a build folder gives
#   vantor         Vantor, ledcard-sim, ledcard-sim-show, the kelvra command line, language files, help
#   libkelvra1     libkelvra.so.1 (the runtime library)
#   libkelvra-dev  headers, libkelvra.so, kelvra.pc, the CMake package Kelvra
# Run-time dependencies on system libraries come from dpkg-shlibdeps; those between our own packages
# are written out below.
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VENDOR "Vantor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Commissioning tools and library for networked LED control cards")
set(CPACK_PACKAGE_CONTACT "Vantor developers <vantor@localhost>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL vantor libkelvra1 libkelvra-dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds libkelvra.so.1 in the staging folder of libkelvra1, which lies below the
# folder cpack writes to (-B): set when cpack runs.
configure_file(${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake.in ${CMAKE_BINARY_DIR}/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackOptions.cmake)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://localhost/vantor")

set(CPACK_DEBIAN_VANTOR_PACKAGE_NAME vantor)
set(CPACK_DEBIAN_VANTOR_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_VANTOR_PACKAGE_DEPENDS "libkelvra1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_VANTOR_PACKAGE_RECOMMENDS "xdg-utils, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_COMPONENT_VANTOR_DESCRIPTION
  "Vantor sets up LED screens driven by networked LED control cards: it finds the cards, adjusts their\n display parameters, runs the smart-setup wizard, lays out special screens and upgrades firmware.\n Also: ledcard-sim (simulated control cards on real sockets) and the kelvra command line.")

set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_NAME libkelvra1)
set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_LIBKELVRA1_DESCRIPTION
  "Kelvra, the LED control card library (runtime)\n Discovery, card commands, file, folder and firmware transfers over TCP, UDP and\n serial lines, programme files, picture capture and conversion.")

set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_NAME libkelvra-dev)
set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_DEPENDS "libkelvra1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_LIBKELVRA-DEV_DESCRIPTION
  "Kelvra, the LED control card library (development files)\n The header <kelvra/kelvra.h>, libkelvra.so, kelvra.pc for pkg-config and the CMake\n package Kelvra (imported target Kelvra::kelvra).")

include(CPack)
