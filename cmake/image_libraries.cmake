# libpng and libtiff for the image-file codec, as one interface target: braidel_image_libraries.
#
# Native builds use the system's copies (Debian's libpng-dev and libtiff-dev). The Windows cross
# build compiles Debian's source packages (fetched by scripts/fetch-sources) as static libraries
# on Debian's MinGW zlib, with only the codecs the codec reads and writes: no JPEG, WebP, zstd,
# LZMA, JBIG, LERC, no tools, tests or shared libraries. A Windows build that has installed
# copies of both libraries (and zlib) can use them instead: -DBRAIDEL_SYSTEM_IMAGE_LIBS=ON.
include_guard(GLOBAL)

option(BRAIDEL_SYSTEM_IMAGE_LIBS "Use installed libpng and libtiff instead of building them" OFF)

add_library(braidel_image_libraries INTERFACE)

# The source packages: built here for Windows, and their test images used by the codec's checks.
set(BRAIDEL_THIRD_PARTY_SOURCES ${CMAKE_SOURCE_DIR}/build/third-party/src CACHE PATH
    "Unpacked libpng and libtiff source packages (scripts/fetch-sources)")

# The source packages built in, as braidel-run --version and the package's README name them;
# empty where installed copies are used (the libraries then report their own versions).
set(BRAIDEL_IMAGE_LIBRARY_SOURCES "" CACHE INTERNAL "Source packages of the built-in libraries")

if(NOT CMAKE_CROSSCOMPILING OR BRAIDEL_SYSTEM_IMAGE_LIBS)
    find_package(PNG REQUIRED)
    find_package(TIFF 4.5 REQUIRED)
    target_link_libraries(braidel_image_libraries INTERFACE TIFF::TIFF PNG::PNG)
    return()
endif()

include(ExternalProject)

foreach(tree libpng tiff)
    if(NOT EXISTS ${BRAIDEL_THIRD_PARTY_SOURCES}/${tree}/CMakeLists.txt)
        message(FATAL_ERROR "No ${tree} sources in ${BRAIDEL_THIRD_PARTY_SOURCES}: "
            "run scripts/fetch-sources (scripts/build does)")
    endif()
endforeach()

set(image_libs_prefix ${CMAKE_BINARY_DIR}/third-party)
set(zlib_root /usr/${MINGW_TRIPLE})
# The static archive, not the DLL import library: every module stands alone.
set(zlib_library ${zlib_root}/lib/libz.a)
if(NOT EXISTS ${zlib_library})
    message(FATAL_ERROR "${zlib_library} missing: install libz-mingw-w64-dev (scripts/bootstrap)")
endif()

# "libpng1.6 1.6.39-2+deb12u5": a Debian source tree's package and version, from the first line
# of its changelog, which apt-get source leaves as it unpacked it.
function(braidel_source_package tree out)
    set(changelog ${BRAIDEL_THIRD_PARTY_SOURCES}/${tree}/debian/changelog)
    # Newer sources fetched later are recorded at the next build.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
    file(STRINGS ${changelog} first LIMIT_COUNT 1)
    string(REGEX MATCH "^([^ ]+) \\(([^)]+)\\)" match "${first}")
    set(${out} "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()
braidel_source_package(libpng png_source)
braidel_source_package(tiff tiff_source)
execute_process(COMMAND dpkg-query -W -f=\${Version} libz-mingw-w64-dev
    OUTPUT_VARIABLE zlib_version ERROR_QUIET)
set(BRAIDEL_IMAGE_LIBRARY_SOURCES
    "${png_source}, ${tiff_source}, libz-mingw-w64-dev ${zlib_version}" CACHE INTERNAL
    "Source packages of the built-in libraries")

# Settings both libraries' own CMake builds get: this toolchain, a release build, the static
# zlib, and the project's strict float semantics. Their warnings stay their own: no -Werror.
set(image_libs_common_args
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${image_libs_prefix}
    -DCMAKE_INSTALL_LIBDIR=lib
    -DCMAKE_C_FLAGS=-ffp-contract=off
    -DBUILD_SHARED_LIBS=OFF
    -DZLIB_LIBRARY=${zlib_library}
    -DZLIB_INCLUDE_DIR=${zlib_root}/include
)
# Both sub-builds share the two cores with the main build.
set(image_libs_build_command ${CMAKE_COMMAND} --build <BINARY_DIR> --parallel 2)

ExternalProject_Add(braidel_libpng_build
    SOURCE_DIR ${BRAIDEL_THIRD_PARTY_SOURCES}/libpng
    BINARY_DIR ${image_libs_prefix}/libpng-build
    INSTALL_DIR ${image_libs_prefix}
    CMAKE_ARGS ${image_libs_common_args}
        -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF
    BUILD_COMMAND ${image_libs_build_command}
    BUILD_BYPRODUCTS ${image_libs_prefix}/lib/libpng16.a
    UPDATE_COMMAND ""
)

ExternalProject_Add(braidel_libtiff_build
    SOURCE_DIR ${BRAIDEL_THIRD_PARTY_SOURCES}/tiff
    BINARY_DIR ${image_libs_prefix}/tiff-build
    INSTALL_DIR ${image_libs_prefix}
    CMAKE_ARGS ${image_libs_common_args}
        -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF
        -Dzlib=ON -Dlzw=ON -Dpackbits=ON
        -Djpeg=OFF -Dold-jpeg=OFF -Djpeg12=OFF -Dwebp=OFF -Dzstd=OFF -Dlzma=OFF -Djbig=OFF
        -Dlerc=OFF -Dlibdeflate=OFF -Dpixarlog=OFF -Dccitt=OFF -Dthunder=OFF -Dnext=OFF
        -Dlogluv=OFF -Dmdi=OFF -Dsphinx=OFF
    BUILD_COMMAND ${image_libs_build_command}
    BUILD_BYPRODUCTS ${image_libs_prefix}/lib/libtiff.a
    UPDATE_COMMAND ""
    # One after the other: two parallel sub-builds would need more than the two cores.
    DEPENDS braidel_libpng_build
)

# The installed headers appear only at build time; the folder must exist for the targets now.
file(MAKE_DIRECTORY ${image_libs_prefix}/include)

add_library(braidel_zlib STATIC IMPORTED)
set_target_properties(braidel_zlib PROPERTIES IMPORTED_LOCATION ${zlib_library}
    INTERFACE_INCLUDE_DIRECTORIES ${zlib_root}/include)

foreach(library png16 tiff)
    add_library(braidel_${library} STATIC IMPORTED)
    set_target_properties(braidel_${library} PROPERTIES
        IMPORTED_LOCATION ${image_libs_prefix}/lib/lib${library}.a
        INTERFACE_INCLUDE_DIRECTORIES ${image_libs_prefix}/include
        INTERFACE_LINK_LIBRARIES braidel_zlib)
endforeach()
target_link_libraries(braidel_image_libraries INTERFACE braidel_tiff braidel_png16)
# Whatever links the libraries waits for their sub-builds.
add_dependencies(braidel_image_libraries braidel_libpng_build braidel_libtiff_build)
