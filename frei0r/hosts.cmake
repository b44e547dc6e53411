# braidel.so as users meet it: loaded by FFmpeg, melt and gst-launch-1.0 from its build folder,
# every frame compared with the reference; and the Debian package built, checked and loaded.
# The package's suite builds and lints a package, so it is not quick (labels as the README says).
foreach(suite Hosts DebianPackage)
    string(TOLOWER ${suite} name)
    braidel_python_test(frei0r_${name} ${PROJECT_SOURCE_DIR}/tests/frei0r/hosts_test.py
        $<TARGET_FILE_DIR:braidel_frei0r> ${CMAKE_BINARY_DIR} ${suite})
    set_tests_properties(frei0r_${name} PROPERTIES TIMEOUT 600 LABELS quick)
endforeach()
set_tests_properties(frei0r_debianpackage PROPERTIES LABELS package)
