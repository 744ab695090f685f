# Desktop integration (desktop entry, icons, AppStream metainfo) and the
# Debian package built with `cpack -G DEB`.

set(MLFK_APP_ID "farm.meadowline.FieldKeeper")
# The date of the release named by the project version; AppStream requires one.
set(MLFK_RELEASE_DATE "2026-12-06")
set(MLFK_DESKTOP_SRC "${PROJECT_SOURCE_DIR}/resources/desktop")
set(MLFK_ICON_SIZES 16 32 48 64 128 256)

# The generated files land in the build tree at their install paths, like the
# rest of share/.
set(MLFK_METAINFO "${MLFK_OUT}/${CMAKE_INSTALL_DATADIR}/metainfo/${MLFK_APP_ID}.metainfo.xml")
configure_file("${MLFK_DESKTOP_SRC}/${MLFK_APP_ID}.metainfo.xml.in" "${MLFK_METAINFO}" @ONLY)

# The PNG sizes are rendered from the one drawn SVG, so they never drift from it.
find_program(MLFK_RSVG_CONVERT rsvg-convert)
if(NOT MLFK_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert not found: install librsvg2-bin (scripts/install-deps does)")
endif()
set(MLFK_ICON_SVG "${MLFK_DESKTOP_SRC}/${MLFK_APP_ID}.svg")
set(MLFK_ICON_PNGS)
foreach(size IN LISTS MLFK_ICON_SIZES)
  set(dir "${MLFK_OUT}/${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
  set(png "${dir}/${MLFK_APP_ID}.png")
  add_custom_command(OUTPUT "${png}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
    COMMAND "${MLFK_RSVG_CONVERT}" -w ${size} -h ${size} -o "${png}" "${MLFK_ICON_SVG}"
    DEPENDS "${MLFK_ICON_SVG}"
    COMMENT "Rendering the ${size}x${size} icon"
    VERBATIM)
  list(APPEND MLFK_ICON_PNGS "${png}")
  install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
endforeach()
add_custom_target(mlfk_icons ALL DEPENDS ${MLFK_ICON_PNGS})

install(FILES "${MLFK_DESKTOP_SRC}/${MLFK_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${MLFK_ICON_SVG}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${MLFK_METAINFO}" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# The Debian package. Its Depends are computed by dpkg-shlibdeps from the
# libraries the program links; the one addition is a package the program
# needs but does not link (see below).
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "meadowline-field-keeper")
set(CPACK_PACKAGE_VENDOR "Meadowline Software Ltd.")
set(CPACK_PACKAGE_CONTACT "Meadowline Software Ltd. <support@meadowline.farm>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Farm records kept offline on your own computer")
set(CPACK_PACKAGE_DESCRIPTION
    "Meadowline Field Keeper keeps the records of a livestock farm: the herd, health\n"
    "treatments with their withdrawal periods, weights, births, movements and\n"
    "fields. Everything stays on your own computer and works offline.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
# Debian expects 0755 directories whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_RELEASE "1")
set(CPACK_DEBIAN_PACKAGE_SECTION "misc")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# WebKit only recommends the Mesa drivers, yet without an EGL driver its web
# process aborts and the window never shows. On a machine with no GPU driver
# (virtual machines, remote X, installs without recommends) Mesa's software
# renderer in libgl1-mesa-dri is the only thing that lets the page paint, and
# it coexists with vendor drivers, so it is a hard dependency.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1-mesa-dri")
# The icon cache and the desktop database are refreshed by the dpkg triggers
# of gtk-update-icon-cache and desktop-file-utils, so the package carries no
# maintainer scripts: installing or removing it never touches users' data.
include(CPack)
