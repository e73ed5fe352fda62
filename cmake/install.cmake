# Installation, the CMake package for the mesh library, and the .deb / .tar.gz packages.
#
#   bin/quillin, bin/quillout             the two converters
#   lib/libmsh.a, include/msh.h           the static mesh library and its header
#   lib/cmake/msh/                        mshConfig.cmake, its version file and the exported
#                                         target msh::msh, for find_package(msh CONFIG)
#   share/man/man1/quillin.1, quillout.1  the manual pages
#
# For Windows a ZIP holds what a user of the programs needs, in one folder:
#
#   quillin.exe, quillout.exe             the two converters (statically linked)
#   README.txt                            the README
#   quillin.txt, quillout.txt             the manual pages as plain text
#
# with CR LF line ends in the text files.
#
# Included at the end of the top-level CMakeLists.txt, after every target exists.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows_zip.cmake)
  return()
endif()

set(QUILL_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/msh)

install(TARGETS quillin quillout
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(TARGETS msh EXPORT mshTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# msh.h is the whole public interface; msh_alloc.h is internal to the library and the programs.
install(FILES ${PROJECT_SOURCE_DIR}/mesh/msh.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT mshTargets
  NAMESPACE msh::
  DESTINATION ${QUILL_PACKAGE_DIR})
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/mshConfig.cmake.in
  ${PROJECT_BINARY_DIR}/mshConfig.cmake
  INSTALL_DESTINATION ${QUILL_PACKAGE_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/mshConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/mshConfig.cmake
  ${PROJECT_BINARY_DIR}/mshConfigVersion.cmake
  DESTINATION ${QUILL_PACKAGE_DIR})

install(FILES
  ${PROJECT_SOURCE_DIR}/man/quillin.1
  ${PROJECT_SOURCE_DIR}/man/quillout.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Packages: `cpack -G DEB` and `cpack -G TGZ` in the build directory.
set(CPACK_PACKAGE_NAME quill)
set(CPACK_PACKAGE_VENDOR "quill developers")
set(CPACK_PACKAGE_CONTACT "quill developers <quill@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Converters between Wavefront OBJ text and the binary .msh mesh format")
set(CPACK_PACKAGE_DESCRIPTION
  "quillin reads a Wavefront OBJ file (and an optional matrix side file) and writes a .msh file;\
 quillout reads a .msh file and writes Wavefront OBJ text and the matrix side file.\
 Includes the static mesh library libmsh.a, its header and a CMake package (msh::msh).")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_GENERATOR "DEB;TGZ")
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Runtime dependencies (libc, libstdc++) are read from the programs when the tool is there.
find_program(QUILL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUILL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
endif()

include(CPack)
