# Native checks of the image-file codec against the system's libpng and libtiff, under the
# sanitizers that fuzz/CMakeLists.txt turns on for the whole folder: the codec's tests and a
# libFuzzer target. The codec itself is added with the native program (cmake/linux.cmake).
set(BRAIDEL_IMAGE_FUZZ_SECONDS 30 CACHE STRING "Length of the bounded image fuzzing session")

add_subdirectory(${PROJECT_SOURCE_DIR}/tests/image_files ${CMAKE_BINARY_DIR}/image_files_tests)

# Arbitrary bytes through the decoder, and small images through a round trip.
braidel_fuzz_target(image ${CMAKE_CURRENT_LIST_DIR}/image_fuzzer.cpp braidel_image_files
    ${CMAKE_CURRENT_LIST_DIR}/image-seeds ${BRAIDEL_IMAGE_FUZZ_SECONDS} -max_len=65536
    -rss_limit_mb=4096)
