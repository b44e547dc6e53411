# The image-file codec's tests, declared once for both builds: cross-built and run under Wine in
# the win64 build, native under the sanitizers in the native one.

add_executable(image_files_tool ${CMAKE_CURRENT_LIST_DIR}/image_files_tool.cpp)
target_link_libraries(image_files_tool PRIVATE braidel_image_files braidel_warnings)

add_executable(image_files_tests ${CMAKE_CURRENT_LIST_DIR}/image_files_test.cpp)
target_link_libraries(image_files_tests PRIVATE braidel_image_files braidel_warnings
    GTest::gtest_main)
add_test(NAME image_files_tests COMMAND image_files_tests)
set_tests_properties(image_files_tests PROPERTIES LABELS quick)

if(CMAKE_CROSSCOMPILING)
    add_test(NAME image_files_tool COMMAND image_files_tool convert
        ${PROJECT_SOURCE_DIR}/fuzz/image-seeds/rgba-16-interlaced.png
        ${CMAKE_BINARY_DIR}/converted.tif)
    set_tests_properties(image_files_tool PROPERTIES LABELS quick)
    set_tests_properties(image_files_tool image_files_tests PROPERTIES FIXTURES_REQUIRED wine)
else()
    # Independent decoders on the libraries' own test images and generated variants.
    braidel_python_test(image_files_check ${CMAKE_CURRENT_LIST_DIR}/check_image_files.py
        $<TARGET_FILE:image_files_tool> ${BRAIDEL_THIRD_PARTY_SOURCES})
    set_tests_properties(image_files_check PROPERTIES TIMEOUT 600 LABELS images)
endif()
