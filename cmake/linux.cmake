# The Linux side: the rebuild core built natively and the frei0r video module on it, with its
# tests and Debian package. With BRAIDEL_SANITIZE (the native preset) everything is built under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the kernel checker, the image codec's
# checks and the fuzzers join in.
option(BRAIDEL_SANITIZE "Build under the sanitizers, with the checks and fuzzers" OFF)

# Everything may end up in the module, which exports its entry points and nothing else.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

if(BRAIDEL_SANITIZE)
    add_compile_options(-fno-omit-frame-pointer -fsanitize=address,undefined
        -fno-sanitize-recover=all -fsanitize=fuzzer-no-link)
    add_link_options(-fsanitize=address,undefined)
endif()

include(cmake/googletest.cmake)

add_subdirectory(rebuild)
add_subdirectory(frei0r)
add_subdirectory(cli)
if(BRAIDEL_SANITIZE)
    add_subdirectory(tests)
    add_subdirectory(fuzz)
endif()
