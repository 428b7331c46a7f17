# Debian packages, one per install component: `cpack -G DEB` in a build folder gives
#   libkelvra1        libkelvra.so.1, with its shlibs and symbols files and the ldconfig trigger
#   libkelvra-dev     headers, libkelvra.so, kelvra.pc, the CMake package Kelvra
#   kelvra-tools      the kelvra command line and ledcard-sim: no Qt, for headless controllers and CI
#   vantor            the desktop program with vantor-cli and ledcard-sim-show (the Qt programs)
#   kelvra-wireshark  the protocol dissector in Wireshark's global Lua plugin folder
#   python3-kelvra    the Python package kelvra (pure Python over libkelvra.so.1)
# and a -dbgsym package with the split-off debug information of each package that holds programs.
# Run-time dependencies on system libraries come from dpkg-shlibdeps; those between our own packages
# are written out below. Each package carries the copyright file, the changelog and the manual pages
# of its programs (packaging/debian, packaging/man.cmake).
set(CPACK_PACKAGE_NAME vantor)
set(CPACK_PACKAGE_VENDOR "Vantor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# CPack 3.25 puts a set summary above every component's description; each package's own summary is
# the first line of its CPACK_DEBIAN_<COMPONENT>_DESCRIPTION below, so this one stays empty.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_CONTACT "Vantor developers <maintainers@vantor.example.org>")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libkelvra1 libkelvra-dev kelvra-tools vantor kelvra-wireshark python3-kelvra)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SOURCE vantor)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vantor.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shlibs file of libkelvra1 (CPack writes it for every package that holds a shared library with
# a SONAME; read globally only): programs built against 1.0 need at least 1.0.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The programs and the library ship stripped; their debug information goes to a <package>-dbgsym
# package each (.ddeb, as Debian's own). The debug package step strips them itself: it takes only
# files that are not stripped yet, so CPACK_STRIP_FILES stays off.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# dpkg-shlibdeps finds libkelvra.so.1 in the staging folder of libkelvra1, which lies below the
# folder cpack writes to (-B): set when cpack runs.
configure_file(${CMAKE_CURRENT_LIST_DIR}/cpack-options.cmake.in ${CMAKE_BINARY_DIR}/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackOptions.cmake)
# What CPack itself leaves un-Debian-like in the packages is finished by this script (see there).
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/fix-debs.cmake)

set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_NAME libkelvra1)
set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_MULTIARCH same)
# The symbols file lists every export with the version that brought it; the trigger runs ldconfig
# once after all packages are unpacked (no maintainer scripts).
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/libkelvra1.symbols ${CMAKE_BINARY_DIR}/packaging/control/symbols
  COPYONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/libkelvra1.triggers ${CMAKE_BINARY_DIR}/packaging/control/triggers
  COPYONLY)
set(CPACK_DEBIAN_LIBKELVRA1_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/packaging/control/symbols ${CMAKE_BINARY_DIR}/packaging/control/triggers)
set(CPACK_DEBIAN_LIBKELVRA1_DESCRIPTION "library for networked LED control cards
Kelvra drives LED control cards over TCP, UDP and serial lines: discovery,
card information and commands, file, folder and firmware transfers, the
programme files a card plays, live display windows, picture capture and
conversion between BMP, JPEG and GIF.

This package holds the shared library libkelvra.so.1.")

set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_NAME libkelvra-dev)
set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_MULTIARCH same)
set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_DEPENDS "libkelvra1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_LIBKELVRA-DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_LIBKELVRA-DEV_DESCRIPTION "library for networked LED control cards (development files)
Kelvra drives LED control cards over TCP, UDP and serial lines.

This package holds the header <kelvra/kelvra.h> with the headers it
includes, libkelvra.so, kelvra.pc for pkg-config and the CMake package
Kelvra (imported target Kelvra::kelvra).")

set(CPACK_DEBIAN_KELVRA-TOOLS_PACKAGE_NAME kelvra-tools)
set(CPACK_DEBIAN_KELVRA-TOOLS_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_KELVRA-TOOLS_PACKAGE_DEPENDS "libkelvra1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_KELVRA-TOOLS_PACKAGE_SUGGESTS "vantor (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_KELVRA-TOOLS_DESCRIPTION "command line and simulator for networked LED control cards
kelvra finds LED control cards and drives them from scripts: card
information, brightness, clock, input and output lines, file, folder and
firmware transfers, pictures and resets, over TCP, UDP or a serial line.

ledcard-sim runs simulated control cards on real sockets, for testing
programs without hardware. Its --show window (ledcard-sim-show) comes with
the vantor package.

Neither program needs Qt or a display.")

set(CPACK_DEBIAN_VANTOR_PACKAGE_NAME vantor)
set(CPACK_DEBIAN_VANTOR_PACKAGE_SECTION electronics)
# Vantor loads libkelvra.so.1 at run time (dlopen), which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_VANTOR_PACKAGE_DEPENDS "libkelvra1 (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_VANTOR_PACKAGE_RECOMMENDS "xdg-utils, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_VANTOR_PACKAGE_SUGGESTS "kelvra-tools (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_VANTOR_DESCRIPTION "desktop program for commissioning LED screens
Vantor sets up LED screens driven by networked LED control cards: it finds
the cards, adjusts their display parameters, runs the smart-setup wizard,
lays out special screens and upgrades firmware.

Also: vantor-cli, its command line (discovery, layouts, wiring previews,
image and parameter sends, and fleet work: an inventory of every card,
planned upgrades and parameter sends for many cards with resume), and
ledcard-sim-show, the window of ledcard-sim --show.")

set(CPACK_DEBIAN_KELVRA-WIRESHARK_PACKAGE_NAME kelvra-wireshark)
set(CPACK_DEBIAN_KELVRA-WIRESHARK_PACKAGE_SECTION net)
set(CPACK_DEBIAN_KELVRA-WIRESHARK_PACKAGE_DEPENDS "wireshark-common")
set(CPACK_DEBIAN_KELVRA-WIRESHARK_PACKAGE_ENHANCES "wireshark, tshark")
set(CPACK_DEBIAN_KELVRA-WIRESHARK_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_KELVRA-WIRESHARK_DESCRIPTION "Wireshark dissector for the LED control card protocol
Decodes the protocol of networked LED control cards on UDP 31296 and TCP
and UDP 31298 in Wireshark and tshark: the three frame forms, every
command and answer by name, check bytes, file transfers, screen-control
blocks and display windows. Frames split over TCP segments are reassembled.

A Lua plugin, installed in Wireshark's global plugin folder.")

set(CPACK_DEBIAN_PYTHON3-KELVRA_PACKAGE_NAME python3-kelvra)
set(CPACK_DEBIAN_PYTHON3-KELVRA_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON3-KELVRA_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON3-KELVRA_PACKAGE_DEPENDS "python3 (>= 3.9), libkelvra1 (>= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_PYTHON3-KELVRA_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PYTHON3-KELVRA_DESCRIPTION "Python bindings of the library for networked LED control cards
The Python package kelvra drives LED control cards through libkelvra
(ctypes, nothing compiled): discovery, card information and commands, file,
folder and firmware transfers, pictures. Failures raise exceptions named
after the library's results; the package is typed.")
# Debian's folder for Python packages that work with every python3 version.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/kelvra DESTINATION lib/python3/dist-packages
  COMPONENT python3-kelvra FILES_MATCHING PATTERN "*.py" PATTERN "py.typed")

# What every package carries: its copyright file and the changelog (gzip -9n, as Debian wants).
set(VANTOR_DEB_CHANGELOG ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${VANTOR_DEB_CHANGELOG}
  COMMAND gzip -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/debian/changelog > ${VANTOR_DEB_CHANGELOG}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/debian/changelog VERBATIM)
add_custom_target(package_changelog ALL DEPENDS ${VANTOR_DEB_CHANGELOG})
foreach(component ${CPACK_COMPONENTS_ALL})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${VANTOR_DEB_CHANGELOG}
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${component})
endforeach()
include(${CMAKE_CURRENT_LIST_DIR}/man.cmake)

include(CPack)
