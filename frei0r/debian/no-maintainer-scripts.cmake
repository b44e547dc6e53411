# Run by CPack after it has made the package. CPack's DEB generator gives every package with a
# shared object in or below /usr/lib postinst and postrm scripts that run ldconfig; the module
# is loaded by path from /usr/lib/frei0r-1, outside every library path, and needs no scripts.
# The package is rebuilt from its own contents without them.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    set(tree ${deb}.tree)
    file(REMOVE_RECURSE ${tree})
    execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${deb}
        OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE ${tree})
endforeach()
