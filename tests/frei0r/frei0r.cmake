# The frei0r module's tests, in every tree that builds the module: its entry points in each, and
# in the frei0r tree the video hosts, the editors and its Debian package (hosts.cmake).

# The module's entry points driven directly, as a host does, through dlopen (LoadLibraryW under
# Wine). Its rebuild of frames in memory is also linked in directly, to force two bands and each
# processor level.
add_executable(frei0r_module_tests ${CMAKE_CURRENT_LIST_DIR}/braidel_frei0r_test.cpp
    ${PROJECT_SOURCE_DIR}/frei0r/rgba8_rebuild.cpp)
target_include_directories(frei0r_module_tests PRIVATE
    $<TARGET_PROPERTY:braidel_frei0r,INCLUDE_DIRECTORIES>)
target_link_libraries(frei0r_module_tests PRIVATE braidel_rebuild_core braidel_includes
    braidel_warnings GTest::gtest_main ${CMAKE_DL_LIBS})
target_compile_definitions(frei0r_module_tests PRIVATE
    BRAIDEL_FREI0R_MODULE="$<TARGET_FILE:braidel_frei0r>")
add_dependencies(frei0r_module_tests braidel_frei0r)
add_test(NAME frei0r_module_tests COMMAND frei0r_module_tests)
set_tests_properties(frei0r_module_tests PROPERTIES LABELS quick)
if(WIN32)
    # Under Wine, in the run's one Wine session.
    set_tests_properties(frei0r_module_tests PROPERTIES FIXTURES_REQUIRED wine)
endif()

if(NOT BRAIDEL_SANITIZE AND NOT WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/hosts.cmake)
endif()
