# The one set of warnings for the project's own code, as errors. Third-party code built beside
# it does not link this.
if(NOT TARGET braidel_warnings)
    add_library(braidel_warnings INTERFACE)
    target_compile_options(braidel_warnings INTERFACE
        $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Werror>)
endif()
