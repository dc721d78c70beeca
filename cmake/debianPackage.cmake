# The Debian package "orbant", made by `cmake --build BUILD --target package`
# from this build: both tools with their manual pages, documents and shell
# completion. The simulated reader stays out (only the "tools" component).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orbant)
set(CPACK_PACKAGE_VENDOR "the orbant and romtap developers")
set(CPACK_PACKAGE_CONTACT "The orbant and romtap developers <developers@orbant.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MSX cross-assembler (orbant) and cartridge dumper (romtap)")
# Lines of at most 80 characters, as Debian's tools show them.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Two command-line tools for people who write and preserve software for\n"
       "MSX home computers.\n"
       "orbant is a multi-pass cross-assembler for the Z80, the R800 and the\n"
       "GBZ80: one source plus its includes give a flat binary image and a\n"
       "symbol file.\n"
       "romtap dumps game cartridges into ROM image files through a PC-attached\n"
       "cartridge reader, driven by the reader maker's library loaded at run time.")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orbant.example.org/")
# The dependencies (the C and C++ runtimes) are read from the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

# Debian's places and forms for the documents (cmake/debianLayout.cmake); the
# changelog names this release.
string(TIMESTAMP releaseDate "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(${CMAKE_CURRENT_LIST_DIR}/debianChangelog.in debian/changelog @ONLY)
set(CPACK_DEBIAN_CHANGELOG ${PROJECT_BINARY_DIR}/debian/changelog)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debianLayout.cmake)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL tools)

include(CPack)
