# braidel.so as users meet it: loaded by FFmpeg, melt and gst-launch-1.0 from its build folder,
# every frame compared with the reference; and the Debian package built, checked and loaded.
# Debian's Python has numpy and pypng.
find_program(BRAIDEL_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
foreach(suite Hosts DebianPackage)
    string(TOLOWER ${suite} name)
    add_test(NAME frei0r_${name} COMMAND ${BRAIDEL_DEBIAN_PYTHON}
        ${PROJECT_SOURCE_DIR}/tests/frei0r/hosts_test.py $<TARGET_FILE_DIR:braidel_frei0r>
        ${CMAKE_BINARY_DIR} ${suite})
    set_tests_properties(frei0r_${name} PROPERTIES TIMEOUT 600 LABELS quick)
endforeach()
