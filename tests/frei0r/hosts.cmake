# braidel.so as users meet it: loaded by FFmpeg, melt and gst-launch-1.0 from its build folder,
# every frame compared with the reference; the editors' projects rendered; Kdenlive and Shotcut
# started on a virtual display with the effect's descriptions; and the Debian package built,
# checked, loaded, installed and purged.
# The package's suite builds and lints a package, so it is not quick (labels as HACKING.md says).
foreach(suite Hosts Editors DebianPackage)
    string(TOLOWER ${suite} name)
    braidel_python_test(frei0r_${name} ${PROJECT_SOURCE_DIR}/tests/frei0r/hosts_test.py
        $<TARGET_FILE_DIR:braidel_frei0r> ${CMAKE_BINARY_DIR} ${suite})
    set_tests_properties(frei0r_${name} PROPERTIES TIMEOUT 600 LABELS quick)
endforeach()
set_tests_properties(frei0r_debianpackage PROPERTIES LABELS package)
# Each editor's start takes a while: the quick tier leaves them out.
set_tests_properties(frei0r_editors PROPERTIES LABELS editors)
