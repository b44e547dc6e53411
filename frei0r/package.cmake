# The Debian package: `cmake --build --preset frei0r --target package`
# makes braidel-frei0r_<version>_amd64.deb, which installs braidel.so in /usr/lib/frei0r-1/,
# where Debian's FFmpeg, MLT and GStreamer look for frei0r effects.
set(doc share/doc/braidel-frei0r)
# The editors' descriptions of the effect, where Kdenlive and Shotcut look for them, so that both
# show it with its two menus.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/kdenlive/frei0r_braidel.xml
    DESTINATION share/kdenlive/effects COMPONENT frei0r)
install(DIRECTORY ${CMAKE_CURRENT_LIST_DIR}/shotcut/braidel
    DESTINATION share/shotcut/qml/filters COMPONENT frei0r)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright DESTINATION ${doc} COMPONENT frei0r)

# A native package's changelog, compressed with no name or time in the gzip header.
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in
    ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
    COMMAND gzip -9 -n -f -k ${CMAKE_CURRENT_BINARY_DIR}/changelog
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_target(braidel_frei0r_changelog ALL
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${doc}
    COMPONENT frei0r)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME braidel-frei0r)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Seed 2b5f786b maintainers <maintainers@users.noreply.c-seed-2b5f786b.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "stereo field rebuild as a frei0r video effect")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Braidel serves line-interleaved stereo video, in which the even lines carry
one eye's view and the odd lines the other's. It throws away the lines of one
field and rebuilds each from the kept lines next to it (copy line, two-point
linear or six-point weighted), leaving one view at full height.

This package holds the frei0r effect braidel for FFmpeg, MLT (melt, Kdenlive,
Shotcut) and GStreamer, and the effect's descriptions for Kdenlive and Shotcut,
which show it with menus for the kernel and the rebuilt lines.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL frei0r)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/no-maintainer-scripts.cmake)
include(CPack)
