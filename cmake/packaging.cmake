# The Windows package: `cmake --build --preset win64 --target package` (or scripts/package)
# makes Braidel-<version>-win64.zip with braidel-run, the stand-in SDK DLL, the plug-in, a short
# README and the licence texts of what is linked in statically, and in frei0r\ the video module
# with the editors' descriptions of it. Nothing else goes in.
install(TARGETS braidel-run hostsdk Braidel RUNTIME DESTINATION . LIBRARY DESTINATION .
    COMPONENT braidel)
install(TARGETS braidel_frei0r LIBRARY DESTINATION frei0r COMPONENT braidel)
install(FILES ${CMAKE_SOURCE_DIR}/frei0r/kdenlive/frei0r_braidel.xml DESTINATION frei0r/kdenlive
    COMPONENT braidel)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/frei0r/shotcut/braidel DESTINATION frei0r/shotcut
    COMPONENT braidel)
# The README names the source packages of the libraries built into braidel-run.exe, as its
# --version does.
file(READ ${CMAKE_SOURCE_DIR}/docs/README-windows.txt braidel_readme)
file(WRITE ${CMAKE_BINARY_DIR}/package-readme.txt "${braidel_readme}
braidel-run.exe has libpng, libtiff and zlib built in, from these source packages:
${BRAIDEL_IMAGE_LIBRARY_SOURCES}.
")
install(FILES ${CMAKE_BINARY_DIR}/package-readme.txt DESTINATION . RENAME README.txt
    COMPONENT braidel)

# Licences: libpng and libtiff from their source packages, zlib, and the compiler's runtime
# (the MinGW-w64 runtime with winpthreads, and GCC's runtime libraries), as Debian ships them.
set(braidel_licences
    "${BRAIDEL_THIRD_PARTY_SOURCES}/libpng/LICENSE=libpng.txt"
    "${BRAIDEL_THIRD_PARTY_SOURCES}/tiff/LICENSE.md=libtiff.txt"
    "/usr/share/doc/libz-mingw-w64-dev/copyright=zlib.txt"
    "/usr/share/doc/mingw-w64-x86-64-dev/copyright=mingw-w64-runtime.txt"
    "/usr/share/doc/gcc-mingw-w64-base/copyright=gcc-runtime.txt")
foreach(entry ${braidel_licences})
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 0 source)
    list(GET parts 1 name)
    install(FILES ${source} DESTINATION licences RENAME ${name} COMPONENT braidel)
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME Braidel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME Braidel-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_COMPONENTS_ALL braidel)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
include(CPack)
