# The Debian package (cpack -G DEB, or scripts/package.sh): the installed tree
# under /usr. Its dependencies come from dpkg-shlibdeps, so the package asks
# for the ICU library the program was built against.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gridwright)
set(CPACK_PACKAGE_VENDOR "Gridwright")
set(CPACK_PACKAGE_CONTACT "Gridwright maintainers <gridwright@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "table-format commands for MIF documents and books")
set(CPACK_PACKAGE_DESCRIPTION "Runs the Gridwright table-format plug-in headless over MIF documents and \
books: lists and deletes unused table formats, converts tables, removes and finds overrides, fixes \
table headings, reports format properties and checks a whole book's table formats for CI.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The plug-in's shared support library ships in the package itself.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_STRIP_FILES ON)
include(CPack)
