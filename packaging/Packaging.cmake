# SPDX-License-Identifier: MIT
# Installation to the usual FHS places and the Debian package (make install, make package).
include(GNUInstallDirs)

set(_pkg ${CMAKE_CURRENT_LIST_DIR})
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/tallyvox)

# `make install` installs the program as built; the package installs the build without the
# update check (component distribution), since apt updates it.
if(TARGET tallyvox)
    install(TARGETS tallyvox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
    install(TARGETS tallyvox_distribution RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
            COMPONENT distribution EXCLUDE_FROM_ALL)
endif()
install(FILES ${_pkg}/tallyvox.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${_pkg}/tallyvox.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${_pkg}/tray-active.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/16x16/apps
        RENAME tallyvox.png)
# AppStream wants the file named after the component id.
install(FILES ${_pkg}/tallyvox.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME com.vostrak.Tallyvox.metainfo.xml)

# The manual page and the Debian changelog go compressed, without a time stamp in the gzip
# header, so that the same sources give the same package.
set(_gz ${CMAKE_BINARY_DIR}/packaging)
foreach(_file IN ITEMS tallyvox.1 debian/changelog)
    get_filename_component(_name ${_file} NAME)
    add_custom_command(OUTPUT ${_gz}/${_name}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${_gz}
        COMMAND sh -c "gzip -9n -c '${_pkg}/${_file}' > '${_gz}/${_name}.gz'"
        DEPENDS ${_pkg}/${_file} VERBATIM)
    list(APPEND _compressed ${_gz}/${_name}.gz)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${_compressed})
install(FILES ${_gz}/tallyvox.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_pkg}/debian/copyright DESTINATION ${_doc} COMPONENT distribution EXCLUDE_FROM_ALL)
install(FILES ${_gz}/changelog.gz DESTINATION ${_doc} RENAME changelog.Debian.gz
        COMPONENT distribution EXCLUDE_FROM_ALL)
install(FILES ${_pkg}/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME tallyvox COMPONENT distribution EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME tallyvox)
set(CPACK_PACKAGE_VENDOR Vostrak)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Small time tracker that lives in the system tray")
# Debian wraps the extended description at 80 columns; CPack keeps these line breaks.
set(CPACK_PACKAGE_DESCRIPTION
    "Tallyvox keeps a list of named tasks and charges the time spent on the\n\
running one. A tray click pauses or resumes tracking; global hot keys bring\n\
the window forward and pause or resume from any application. Idle time\n\
stops the running task.")
set(CPACK_PACKAGE_HOMEPAGE_URL "http://tallyvox.vostrak.com")
set(CPACK_PACKAGE_CONTACT "Vostrak <tallyvox@vostrak.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL distribution Unspecified)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Debian revision 1 of the upstream version: the package is not a native one.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library packages come from the linked libraries (dpkg-shlibdeps, from dpkg-dev); the X11
# platform plugin ships in libqt6gui6, which that already names. Wine's metric-compatible
# Tahoma (the window's face where no Tahoma is installed; without it a wider face is used) and
# Qt's Wayland platform (needed on a Wayland session without XWayland) are recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wine, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xdg-utils")

include(CPack)
