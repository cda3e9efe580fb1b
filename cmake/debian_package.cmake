# `cpack -G DEB` in a build tree makes pagewright_<version>_<arch>.deb: the command, the shared
# library with its soname, the headers, pagewright.pc and the CMake package, the manual page, and
# the README and examples under /usr/share/doc/pagewright. dpkg-shlibdeps works out the library
# dependencies.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pagewright)
set(CPACK_PACKAGE_VENDOR "Pagewright")
set(CPACK_PACKAGE_CONTACT "Pagewright developers <dev@pagewright.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "lay plain-text files out as fax pages")
set(CPACK_PACKAGE_DESCRIPTION
    "Pagewright turns plain-text files into fax pages: TIFF Class F (G3 or G4), PDF, PNG or raw\n\
G3 pages, with an in-text markup for bold and italic text, landscape pages, right-aligned\n\
text, cover-sheet placeholders and images. It ships a command and a C library.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
# The command's default face; fontconfig would otherwise substitute a proportional one.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation")
include(CPack)
