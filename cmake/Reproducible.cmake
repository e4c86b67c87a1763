# Builds from the same commit give the same bytes, wherever the tree lies and
# whenever it is built:
# - SOURCE_DATE_EPOCH, the one timestamp of a build, is the time of the last
#   commit (unless the environment gives one). CMake's string(TIMESTAMP) and
#   CPack honour it; TORVANIX_SOURCE_DATE_EPOCH passes it to CPack.
# - Source and build folders are mapped out of the binaries (__FILE__ and
#   debug information).
# - Packaging sets the mtime of every packaged file to that timestamp
#   (cmake/cpack-pre-build.cmake).
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(TORVANIX_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE TORVANIX_SOURCE_DATE_EPOCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT TORVANIX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    # No git history (a source archive): the time the top-level
    # CMakeLists.txt, which holds the version, was last changed.
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt TORVANIX_SOURCE_DATE_EPOCH "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${TORVANIX_SOURCE_DATE_EPOCH}")
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options("-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=" "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
endif()
