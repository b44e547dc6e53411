# Native checks of the image-file codec against the system's libpng and libtiff, under the
# sanitizers that fuzz/CMakeLists.txt turns on for the whole folder: the codec's tests and a
# libFuzzer target.
set(BRAIDEL_IMAGE_FUZZ_SECONDS 30 CACHE STRING "Length of the bounded image fuzzing session")

add_subdirectory(${PROJECT_SOURCE_DIR}/image_files ${CMAKE_BINARY_DIR}/image_files)
add_subdirectory(${PROJECT_SOURCE_DIR}/tests/image_files ${CMAKE_BINARY_DIR}/image_files_tests)

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
