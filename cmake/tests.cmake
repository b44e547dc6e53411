# What every test declaration of the project shares, in both builds.

# The Python checks decode with numpy, pypng and tifffile, which Debian's Python has.
find_program(BRAIDEL_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)

# A Python check: SCRIPT run by Debian's Python with ARGS, its shared modules (the rebuild
# reference, the test images, the codec's references) handed over as PYTHONPATH. Run by hand, a
# script wants the same: PYTHONPATH=tests/run:tests/image_files.
#   braidel_python_test(NAME SCRIPT [ARGS...])
function(braidel_python_test name script)
    add_test(NAME ${name} COMMAND ${BRAIDEL_DEBIAN_PYTHON} ${script} ${ARGN})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "PYTHONPATH=${PROJECT_SOURCE_DIR}/tests/run:${PROJECT_SOURCE_DIR}/tests/image_files")
endfunction()
