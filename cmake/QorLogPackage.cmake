# The Debian package: `cpack -G DEB` in the build folder makes qorlog_VERSION_ARCH.deb from what
# `cmake --install` installs, with /usr as the prefix. Its Depends come from dpkg-shlibdeps
# (Debian package dpkg-dev) plus the Qt plugins that no library link names.
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME qorlog)
set(CPACK_PACKAGE_VENDOR "QorLog developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop logbook for the charging of rechargeable batteries")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QORLOG_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QORLOG_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window system plugin is loaded at run time, so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Qt's own German texts for standard buttons and dialogs; the session bus for automation.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, dbus-user-session | dbus-x11")
# CPack puts the summary first and lays out this long description as Debian wants it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "QorLog keeps a log of the charges and discharges of rechargeable batteries:
when each happened, the power source, the charger and the battery used, the
nominal current, the amp-hours moved, how the charge ended and a comment.

It shows the log as a table and as a bar chart per battery (charge cycles,
amp-hours charged and discharged), hides records by power source, charger,
battery or termination, and takes new charges from the user and from other
programs through the session D-Bus. The log is one XML file; every save is
atomic.")

# Debian wants a copyright file and a compressed changelog in the package's doc folder.
set(QORLOG_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/qorlog)
configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/cmake/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
    COMMAND gzip -9 -n -c ${PROJECT_BINARY_DIR}/changelog > ${PROJECT_BINARY_DIR}/changelog.gz
    DEPENDS ${PROJECT_BINARY_DIR}/changelog
    COMMENT "Compressing the changelog")
add_custom_target(qorlog_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${QORLOG_DOC_DIR})

include(CPack)
