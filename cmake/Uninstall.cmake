# `cmake -P BUILD/uninstall.cmake` removes what `cmake --install BUILD` put
# in place, whatever the prefix: the files install_manifest.txt lists, then
# the folders that only torvanix uses (its doc folder) once they are empty.
# Folders that other programs share (bin, share/man/man1, share/doc) stay,
# even where the install created them.
set(TORVANIX_OWN_INSTALL_DIRS "${CMAKE_INSTALL_DOCDIR}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake.in ${PROJECT_BINARY_DIR}/uninstall.cmake @ONLY)
