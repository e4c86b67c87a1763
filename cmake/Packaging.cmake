# Packages: a .zip for Windows, a .deb for Linux. Every packaging run writes
# SHA256SUMS beside its package (cpack-post-build.cmake), and two builds
# from the same commit give the same bytes (Reproducible.cmake).
set(CPACK_PACKAGE_VENDOR "The Torvanix Authors")
set(CPACK_PACKAGE_CONTACT "The Torvanix Authors <torvanix@example.invalid>")
# The project's homepage is not public yet: no Homepage field.
set(CPACK_PACKAGE_HOMEPAGE_URL "")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print and compare the SHA-1 digests of files")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-pre-build.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack-post-build.cmake)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME windows-x64)
  else()
    set(CPACK_SYSTEM_NAME windows-x86)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The extended description: lines of at most 80 characters, paragraphs
  # separated by empty lines (CPack writes them as " .").
  string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "torvanix prints the SHA-1 digest of every file named on its command line\n"
      "and marks each file after the first as identical or not to the file\n"
      "named just before it. Use it to check that copies of a file, such as a\n"
      "download and its backup, are the same byte for byte.\n"
      "\n"
      "A [MATCH] says that the two files are the same byte for byte. Against\n"
      "accidents (a damaged download, a bad disk, an incomplete copy) two\n"
      "different files share a SHA-1 digest with a chance of about 2^-160.\n"
      "Against files made to collide on purpose, every block is checked for the\n"
      "signature of the known SHA-1 collision attacks: two different files built\n"
      "with them print the same digest but are marked [NO MATCH].\n"
      "\n"
      "A match proves no more than SHA-1 with this check can: an attack of a kind\n"
      "not yet known would not be caught. Where files may come from an adversary\n"
      "and much is at stake, compare them with a SHA-256 tool as well.")
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  endif()
  if(CMAKE_CROSSCOMPILING)
    # dpkg-shlibdeps knows only the host's libraries; the dependency on the
    # target's libc is read from the program (CPackProjectConfig.cmake).
    set(TORVANIX_PROGRAM ${PROJECT_BINARY_DIR}/torvanix)
  else()
    find_program(TORVANIX_DPKG_SHLIBDEPS dpkg-shlibdeps)
    if(TORVANIX_DPKG_SHLIBDEPS)
      set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    endif()
  endif()
endif()
configure_file(cmake/CPackProjectConfig.cmake.in ${CPACK_PROJECT_CONFIG_FILE} @ONLY)
include(CPack)
