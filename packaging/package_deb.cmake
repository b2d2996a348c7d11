# The Debian package: `cpack -G DEB` in the build folder, or
# scripts/package-deb.sh, which builds and checks it.
set(LARKSPAN_MAINTAINER "Larkspan developers <larkspan@example.org>"
    CACHE STRING "The Debian package's Maintainer field")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME larkspan)
set(CPACK_PACKAGE_VENDOR "Larkspan developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Internet radio stream recorder")
set(CPACK_PACKAGE_DESCRIPTION
    "Larkspan records Internet radio streams (Icecast and Shoutcast mountpoints)\n\
to files: at once, or at the times of a weekly schedule. It watches\n\
streaming servers' status pages for new mountpoints and announces\n\
recordings in an IRC channel. It runs with a window, or without one as a\n\
command-line recorder or a systemd user service.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${LARKSPAN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binary links, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ffmpeg converts recordings to MP3; the GStreamer plugins decode the
# player's and the start sound's files. The program runs without them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "ffmpeg, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gstreamer1.0-libav")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)

# Debian wants a changelog beside the copyright file, compressed like the man
# page. Only the package installs it: the rule belongs to a component that a
# plain `cmake --install` leaves out, and the package holds every component.
set(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian)
configure_file(changelog.Debian.in ${changelog} @ONLY)
add_custom_command(
  OUTPUT ${changelog}.gz
  COMMAND gzip -9n -f -k ${changelog}
  DEPENDS ${changelog})
add_custom_target(larkspan-changelog ALL DEPENDS ${changelog}.gz)
install(FILES ${changelog}.gz DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified deb)

include(CPack)
