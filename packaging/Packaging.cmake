# Installation to the usual FHS places and the Debian package (make install, make package).
include(GNUInstallDirs)

set(_pkg ${CMAKE_CURRENT_LIST_DIR})

if(TARGET tallyvox)
    install(TARGETS tallyvox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${_pkg}/tallyvox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/tallyvox.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_pkg}/tray-active.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps
        RENAME tallyvox.png)
# AppStream wants the file named after the component id.
install(FILES ${_pkg}/tallyvox.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME com.vostrak.Tallyvox.metainfo.xml)
# Starting with the session is the user's choice: the entry ships as an example to copy to
# ~/.config/autostart, not into /etc/xdg/autostart where it would start for every account.
install(FILES ${_pkg}/tallyvox-autostart.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tallyvox/examples RENAME tallyvox.desktop)

set(CPACK_PACKAGE_NAME tallyvox)
set(CPACK_PACKAGE_VENDOR Vostrak)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small time tracker that lives in the system tray")
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyvox keeps a list of named tasks and charges the time spent on the running one.\n\
A tray click pauses or resumes tracking; global hot keys bring the window forward\n\
and pause or resume from any application. Idle time stops the running task.")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://tallyvox.vostrak.com")
set(CPACK_PACKAGE_CONTACT "Vostrak <tallyvox@vostrak.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library packages come from the linked libraries (dpkg-shlibdeps, from dpkg-dev); the X11
# platform plugin ships in libqt6gui6, which that already names. Native Wayland and opening the
# web site in a browser are optional.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Wine's metric-compatible Tahoma, the window's face where no Tahoma is installed.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "qt6-wayland, xdg-utils")

include(CPack)
