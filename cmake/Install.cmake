# What `cmake --install` puts in place, and the Debian package CPack makes of it. The layout
# follows the file-system hierarchy a distribution expects: programs in bin, the help pages in
# share/quovis, the desktop entry, MIME type, AppStream data and icons where desktops look for
# them, compressed man pages, and the xscreensaver hack and its settings dialog description
# where xscreensaver looks for them when the prefix is /usr (the package's prefix).
include(GNUInstallDirs)

set(QUOVIS_XSCREENSAVER_HACKDIR "${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver" CACHE STRING
    "Where xscreensaver looks for its hacks, relative to the prefix (Debian: libexec/xscreensaver)")
set(QUOVIS_XSCREENSAVER_CONFIGDIR "${CMAKE_INSTALL_DATADIR}/xscreensaver/config" CACHE STRING
    "Where xscreensaver-settings reads the hacks' dialog descriptions, relative to the prefix")

set(dist ${PROJECT_SOURCE_DIR}/dist)

foreach(program quovis quovis-tool quovis-run quovis-settings quovis-library-server)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The configuration window's Help button opens <bin>/../share/quovis/help/index.html.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/quovis/help)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/USING.md
              ${PROJECT_SOURCE_DIR}/docs/library-server.md ${dist}/copyright
              ${PROJECT_SOURCE_DIR}/docs/screenshot.png ${PROJECT_SOURCE_DIR}/docs/presets.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quovis)

# The desktop: the configuration window's entry, which also opens settings files (.oru),
# their MIME type, the AppStream description and the icon.
install(FILES ${dist}/software.ferrowick.Quovis.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${dist}/software.ferrowick.Quovis.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${dist}/quovis-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME quovis.xml)
install(FILES ${dist}/icons/quovis.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${dist}/icons/quovis-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quovis.png)
endforeach()

# MATE's and Xfce's screen savers pick their themes from the "screensavers" applications
# folder and run them with $XSCREENSAVER_WINDOW set, as xscreensaver does.
install(FILES ${dist}/quovis-screensaver.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications/screensavers RENAME quovis.desktop)

# xscreensaver: the hack is a link to the program (its folder joins PATH for the hacks it
# runs), and the dialog description lets xscreensaver-settings show the saver's options.
install(FILES ${dist}/xscreensaver/quovis.xml DESTINATION ${QUOVIS_XSCREENSAVER_CONFIGDIR})
if(TARGET quovis)
  file(RELATIVE_PATH hack_target "/prefix/${QUOVIS_XSCREENSAVER_HACKDIR}"
       "/prefix/${CMAKE_INSTALL_BINDIR}/quovis")
  install(CODE "
    set(hackdir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QUOVIS_XSCREENSAVER_HACKDIR}\")
    file(MAKE_DIRECTORY \"\${hackdir}\")
    message(STATUS \"Installing: \${hackdir}/quovis -> ${hack_target}\")
    file(CREATE_LINK \"${hack_target}\" \"\${hackdir}/quovis\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${hackdir}/quovis\")
  ")
endif()

# Man pages, compressed as distributions ship them (-n: no name or time stamp inside, so the
# same page gives the same file).
find_program(QUOVIS_GZIP gzip REQUIRED)
set(man_outputs "")
foreach(page quovis.6 quovis-tool.1 quovis-run.1 quovis-settings.1 quovis-library-server.8)
  set(out ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${QUOVIS_GZIP} -9nc ${dist}/man/${page} > ${out}
    DEPENDS ${dist}/man/${page} VERBATIM)
  list(APPEND man_outputs ${out})
  string(REGEX MATCH "[0-9]$" section ${page})
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(quovis_man_pages ALL DEPENDS ${man_outputs})

# ---- The Debian package (cpack -G DEB in a build folder) ------------------------------------
file(STRINGS ${PROJECT_SOURCE_DIR}/base/version.h version_line REGEX "kVersionText = u\"")
string(REGEX REPLACE ".*u\"([0-9.]+)\".*" "\\1" QUOVIS_PRODUCT_VERSION "${version_line}")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quovis)
set(CPACK_PACKAGE_VERSION ${QUOVIS_PRODUCT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ferrowick Software")
set(CPACK_PACKAGE_CONTACT "Ferrowick Software <quovis@ferrowick.software>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "generative light art screen saver")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ferrowick.software/quovis")
# The long description, below the summary line (CPack indents each line as control files
# want).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Up to 144,000 dots launched by 30 pattern styles, carried by a flow field of\nwandering movers, tinted by the direction they move in and added into a canvas\nwhose trails fade slowly. Runs full screen, in a window or as an xscreensaver\nhack, follows the music, and comes with a configuration window, launchers and\nquovis-tool, a command-line companion.")
# The libraries come from dpkg-shlibdeps; the fonts are looked up by name at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xscreensaver, pulseaudio | pipewire-pulse, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xsecurelock, pavucontrol")
include(CPack)
