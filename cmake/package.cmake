# A Debian package of everything installed: cpack -G DEB in a build tree configured with
# -DCMAKE_INSTALL_PREFIX=/usr (scripts/package.sh does both). Included by the top-level
# CMakeLists.txt when Orvex is the top-level project and installs.
set(ORVEX_PACKAGE_MAINTAINER "Orvex developers <orvex@localhost>" CACHE STRING
  "Maintainer named in the Debian package")
set(CPACK_PACKAGE_NAME orvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${ORVEX_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The summary above is its first line; CPack indents these.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Orvex reads, builds, changes and writes property lists. The package holds
the C node store (liborvex), the C++ object model (liborvex++), their headers,
CMake package and pkg-config files, and orvexutil, the command-line tool that
converts, checks, prints and edits property lists.")
# Dependencies from the libraries the binaries link (libc, libstdc++, libgcc);
# our own two come with the package, and the shlibs file lets others depend on them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
include(CPack)
