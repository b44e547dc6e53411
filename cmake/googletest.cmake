# GoogleTest from Debian's source package, built by whichever compiler the build uses.
set(BRAIDEL_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
    "GoogleTest source tree (Debian's googletest package installs it here)")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${BRAIDEL_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL
    SYSTEM)
