# Where the win64 build keeps its programs and Wine prefixes; every script takes them from here
# (sourced, not run). The folder itself is the win64 preset's binaryDir.
braidel_root=$(cd "$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")/.." && pwd)
braidel_build=$braidel_root/build/win64
braidel_bin=$braidel_build/bin
# The headless prefix (null graphics driver) of the tests and tools.
braidel_prefix=$braidel_build/wine
# A prefix with the X11 driver, for the dialogs on a (virtual) display.
braidel_x11_prefix=$braidel_build/wine-x11
