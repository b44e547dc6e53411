# The Windows side: the plug-in, the stand-in SDK, the hosts that load the plug-in, their tests
# (run under Wine) and the zip package.
enable_language(RC)

# Every runtime artifact (plug-in, SDK DLL, programs) lands beside the others.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

# Windows programs run under Wine, in a prefix of this build tree's own.
set(BRAIDEL_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(BRAIDEL_WINE_EXEC ${CMAKE_SOURCE_DIR}/scripts/wine-exec)
if(CMAKE_CROSSCOMPILING)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${BRAIDEL_WINE_EXEC} ${BRAIDEL_WINE_PREFIX})
endif()

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# The compiler runtime is linked in, so each module stands alone.
add_link_options(-static -static-libgcc -static-libstdc++)

include(cmake/googletest.cmake)

add_subdirectory(hostsdk)
add_subdirectory(rebuild)

add_subdirectory(plugin)
add_subdirectory(filter)
add_subdirectory(ui)
add_subdirectory(resources)

add_subdirectory(loader)
add_subdirectory(frei0r)
add_subdirectory(image_files)
add_subdirectory(cli)
add_subdirectory(bench)

add_subdirectory(tests)

include(cmake/packaging.cmake)
