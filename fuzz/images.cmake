# Native checks of the image-file codec against the system's libpng and libtiff, under the
# sanitizers that fuzz/CMakeLists.txt turns on for the whole folder: the codec's tests and a
# libFuzzer target.
set(BRAIDEL_IMAGE_FUZZ_SECONDS 30 CACHE STRING "Length of the bounded image fuzzing session")

add_subdirectory(${PROJECT_SOURCE_DIR}/cli/image_files ${CMAKE_BINARY_DIR}/image_files)

# Codec checks: independent decoders on the libraries' own test images and generated variants.
add_executable(image_files_tool ${PROJECT_SOURCE_DIR}/tests/image_files/image_files_tool.cpp)
target_link_libraries(image_files_tool PRIVATE braidel_image_files braidel_warnings)
find_program(BRAIDEL_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
set(BRAIDEL_THIRD_PARTY_SOURCES ${PROJECT_SOURCE_DIR}/build/third-party/src CACHE PATH
    "Unpacked libpng and libtiff source packages (scripts/fetch-sources)")
add_test(NAME image_files_check COMMAND ${BRAIDEL_DEBIAN_PYTHON}
    ${PROJECT_SOURCE_DIR}/tests/image_files/check_image_files.py $<TARGET_FILE:image_files_tool>
    ${BRAIDEL_THIRD_PARTY_SOURCES})
set_tests_properties(image_files_check PROPERTIES TIMEOUT 600 LABELS images)

add_executable(image_files_tests ${PROJECT_SOURCE_DIR}/tests/image_files/image_files_test.cpp)
target_link_libraries(image_files_tests PRIVATE braidel_image_files braidel_warnings
    GTest::gtest_main)
add_test(NAME image_files_tests COMMAND image_files_tests)
set_tests_properties(image_files_tests PROPERTIES LABELS quick)

# Every seed once, then a bounded fuzzing session growing a corpus in the build tree.
add_executable(image_fuzzer ${CMAKE_CURRENT_LIST_DIR}/image_fuzzer.cpp)
target_link_libraries(image_fuzzer PRIVATE braidel_image_files braidel_warnings)
target_link_options(image_fuzzer PRIVATE -fsanitize=fuzzer)
set(image_seeds ${CMAKE_CURRENT_LIST_DIR}/image-seeds)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/image-fuzz-corpus)
add_test(NAME image_fuzz_seeds COMMAND image_fuzzer -runs=0 ${image_seeds})
set_tests_properties(image_fuzz_seeds PROPERTIES LABELS quick)
add_test(NAME image_fuzz COMMAND image_fuzzer -max_total_time=${BRAIDEL_IMAGE_FUZZ_SECONDS}
    -max_len=65536 -rss_limit_mb=4096 -print_final_stats=1 ${CMAKE_BINARY_DIR}/image-fuzz-corpus
    ${image_seeds})
set_tests_properties(image_fuzz PROPERTIES TIMEOUT 600 LABELS fuzz)
