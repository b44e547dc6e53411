# The Linux side: the rebuild core built natively, the frei0r video module on it and the native
# braidel-run. With BRAIDEL_SANITIZE (the native preset) everything is built under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the kernel checker, the image codec's
# checks and the fuzzers join in. Without it, a tree makes one Debian package (CPack makes one
# package per tree): the frei0r module's (the frei0r preset), or with BRAIDEL_RUN_PACKAGE
# braidel-run's (the linux preset), which builds no module and runs the tests of tests/.
option(BRAIDEL_SANITIZE "Build under the sanitizers, with the checks and fuzzers" OFF)
option(BRAIDEL_RUN_PACKAGE
    "Build the native braidel-run as shipped, its tests and Debian package, without the frei0r module"
    OFF)
if(BRAIDEL_SANITIZE AND BRAIDEL_RUN_PACKAGE)
    message(FATAL_ERROR "BRAIDEL_RUN_PACKAGE is a release build: not with BRAIDEL_SANITIZE")
endif()

# Everything may end up in the module, which exports its entry points and nothing else.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

if(BRAIDEL_SANITIZE)
    add_compile_options(-fno-omit-frame-pointer -fsanitize=address,undefined
        -fno-sanitize-recover=all -fsanitize=fuzzer-no-link)
    add_link_options(-fsanitize=address,undefined)
endif()

# The shipped program hardened as Debian builds its packages (dpkg-buildflags with bindnow): bounds
# checks on the C library's string and memory calls, stack canaries, a read-only relocation table.
if(BRAIDEL_RUN_PACKAGE)
    add_compile_definitions(_FORTIFY_SOURCE=2)
    add_compile_options(-fstack-protector-strong)
    add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()

include(cmake/googletest.cmake)

add_subdirectory(rebuild)
# The native braidel-run's frames (the SDK's memory bitmap, linked in) and its image codec on the
# system's libpng and libtiff.
add_subdirectory(hostsdk)
add_subdirectory(image_files ${CMAKE_BINARY_DIR}/image_files)
if(NOT BRAIDEL_RUN_PACKAGE)
    add_subdirectory(frei0r)
endif()
add_subdirectory(cli)
# Every tree's tests (tests/ declares what each one runs).
add_subdirectory(tests)
# braidel-run's Debian package, wherever cli/ builds the native program.
if(BRAIDEL_RUN_PACKAGE AND TARGET braidel-run)
    add_subdirectory(cli/package)
endif()
