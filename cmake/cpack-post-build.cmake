# Run by cpack after packaging: SHA256SUMS in the folder the packages go to,
# in the format `sha256sum -c SHA256SUMS` checks. (The packages are hashed
# in cpack's staging folder, from where they are copied unchanged.)
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  file(SHA256 "${package}" hash)
  get_filename_component(name "${package}" NAME)
  string(APPEND sums "${hash}  ${name}\n")
endforeach()
if(sums)
  file(WRITE "${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS" "${sums}")
  message(STATUS "checksums: ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS")
endif()
