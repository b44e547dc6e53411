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

add_library(Braidel SHARED
    plugin/dll_main.cpp
    plugin/exports.cpp
    plugin/braideled_class_desc.cpp
    filter/braideled_compositor.cpp
    rebuild/field_rebuild.cpp
    rebuild/mask_pass.cpp
    ui/about_dialog.cpp
    ui/activation_context.cpp
    ui/module_dialog.cpp
    ui/setup_dialog.cpp
    resources/braidel.rc
)
# The resource script pulls these in by name; rebuild it when they change.
set_source_files_properties(resources/braidel.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_SOURCE_DIR}/resources/braidel.manifest;${CMAKE_SOURCE_DIR}/ui/dialog_ids.h;${CMAKE_BINARY_DIR}/generated/braidel_version.h")
set_target_properties(Braidel PROPERTIES PREFIX "" SUFFIX ".flt" OUTPUT_NAME Braidel)
target_link_libraries(Braidel PRIVATE braidel_includes braidel_warnings braidel_kernels hostsdk
    user32)

add_subdirectory(hosting)
add_subdirectory(image_files)
add_subdirectory(cli)
add_subdirectory(bench)

add_subdirectory(tests)

include(cmake/packaging.cmake)
