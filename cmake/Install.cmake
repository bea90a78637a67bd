# Where an installation puts things (GNU layout), and the Debian package that
# `cpack -G DEB` makes of it. Nothing is written into the installed tree at
# run time: with the program directory not writable, the library lives in the
# user's data directory.
include(GNUInstallDirs)

install(TARGETS tavrel tavrel_check tavrel_library tavrel_server_exe
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The Help menu's viewer is no command of its own: it sits in libexec, where
# the program looks for it next to bin.
install(TARGETS readme_exe RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tavrel)
install(FILES docs/usage.html DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY samples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/samples)

install(FILES data/desktop/org.tavrel.Tavrel.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/desktop/org.tavrel.Tavrel.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES data/icons/tavrel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
    install(FILES data/icons/${size}x${size}/tavrel.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Man pages and the package's changelog compressed as Debian wants them: no
# timestamp, so that two builds give the same bytes.
find_program(GZIP gzip REQUIRED)
set(compressed)
foreach(page tavrel tavrel-check tavrel-library tavrel-server)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/docs/man/${page}.1
                > ${CMAKE_BINARY_DIR}/man/${page}.1.gz
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 VERBATIM)
    list(APPEND compressed ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
    install(FILES ${CMAKE_BINARY_DIR}/man/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.Debian.gz
    COMMAND ${GZIP} -9n -c ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
            > ${CMAKE_BINARY_DIR}/changelog.Debian.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog VERBATIM)
add_custom_target(compressed_docs ALL DEPENDS ${compressed} ${CMAKE_BINARY_DIR}/changelog.Debian.gz)
install(FILES packaging/debian/copyright ${CMAKE_BINARY_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The exchange server as a system service: not started on installation.
set(TAVREL_SYSTEMD_UNIT_DIR "${CMAKE_INSTALL_PREFIX}/lib/systemd/system" CACHE PATH
    "Where the tavrel-server service file is installed")
set(TAVREL_DEFAULT_FILE "${CMAKE_INSTALL_FULL_SYSCONFDIR}/default/tavrel-server")
configure_file(packaging/tavrel-server.service.in ${CMAKE_BINARY_DIR}/tavrel-server.service @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/tavrel-server.service DESTINATION ${TAVREL_SYSTEMD_UNIT_DIR})
install(FILES packaging/tavrel-server.default DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/default
        RENAME tavrel-server)

set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VENDOR "Tavrel developers")
set(CPACK_PACKAGE_CONTACT "Tavrel developers <tavrel@tavrel.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "proofreading of Chinese documents")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tavrel.org")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The extended description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tavrel proofreads Chinese documents (GBK, GB18030, UTF-8, UTF-16; text and
HTML) against a library of correction entries: each wrong form with its
right form and the phrases in which the wrong form is legitimate. It lists
every hit with its context, corrects the ticked ones (and undoes a
correction), writes reports, and exchanges entries with a team's server.
.
The package holds the window (tavrel), the command-line check
(tavrel-check), the library tool (tavrel-library) and the exchange server
(tavrel-server), with a systemd service that is not started on installation.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Plugins and helpers the shared-library scan cannot see: Qt's window system
# plugins and the user the service runs as.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-wqy-zenhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/debian/postinst;${PROJECT_SOURCE_DIR}/packaging/debian/prerm;${PROJECT_SOURCE_DIR}/packaging/debian/postrm;${PROJECT_SOURCE_DIR}/packaging/debian/conffiles")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
