# The libFuzzer targets of the native preset, under the sanitizers: the kernels, the rebuild
# rules and the image codec. Their sources and seeds are in fuzz/.
set(fuzz_sources ${PROJECT_SOURCE_DIR}/fuzz)
# A libFuzzer target: every seed once (quick), then a bounded session that grows a corpus in the
# build tree. Arguments after SECONDS go to the session.
set(BRAIDEL_FUZZ_SECONDS 60 CACHE STRING "Length of each bounded fuzzing session")
function(braidel_fuzz_target name source library seeds seconds)
    add_executable(${name}_fuzzer ${source})
    target_link_libraries(${name}_fuzzer PRIVATE ${library} braidel_warnings)
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    set(corpus ${CMAKE_BINARY_DIR}/${name}-fuzz-corpus)
    file(MAKE_DIRECTORY ${corpus})
    add_test(NAME ${name}_fuzz_seeds COMMAND ${name}_fuzzer -runs=0 ${seeds})
    set_tests_properties(${name}_fuzz_seeds PROPERTIES LABELS quick)
    add_test(NAME ${name}_fuzz COMMAND ${name}_fuzzer -max_total_time=${seconds} ${ARGN}
        -print_final_stats=1 ${corpus} ${seeds})
    set_tests_properties(${name}_fuzz PROPERTIES TIMEOUT 600 LABELS fuzz)
endfunction()

# The vector kernels against the plain ones, at random widths.
braidel_fuzz_target(kernel ${fuzz_sources}/kernel_fuzzer.cpp braidel_rebuild_core
    ${fuzz_sources}/fuzz-seeds ${BRAIDEL_FUZZ_SECONDS} -max_len=8192)

# The rebuild rules over frames in memory: two bands at any split equal the whole frame, and
# only kept rows are read.
braidel_fuzz_target(band ${fuzz_sources}/band_fuzzer.cpp braidel_rebuild_core
    ${fuzz_sources}/band-seeds ${BRAIDEL_FUZZ_SECONDS} -max_len=4096)

# Arbitrary bytes through the image-file codec's decoder, and small images through a round trip.
set(BRAIDEL_IMAGE_FUZZ_SECONDS 30 CACHE STRING "Length of the bounded image fuzzing session")
braidel_fuzz_target(image ${fuzz_sources}/image_fuzzer.cpp braidel_image_files ${fuzz_sources}/image-seeds
    ${BRAIDEL_IMAGE_FUZZ_SECONDS} -max_len=65536 -rss_limit_mb=4096)
