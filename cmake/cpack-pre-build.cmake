# Run by cpack after installing (and stripping) into its staging folder,
# before archiving.

# In the .deb, programs lose the compiler's .comment section too, as in
# Debian's own packages.
if(CPACK_GENERATOR STREQUAL "DEB" AND TORVANIX_OBJCOPY)
  file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/bin/*")
  foreach(program IN LISTS programs)
    execute_process(COMMAND ${TORVANIX_OBJCOPY} --remove-section=.comment "${program}"
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "objcopy ${program} failed")
    endif()
  endforeach()
endif()

# Every file and folder gets the time of the last commit, so archives that
# store times do not depend on when or where the build ran.
if(NOT TORVANIX_SOURCE_DATE_EPOCH)
  return()
endif()
find_program(touch touch)
if(NOT touch)
  message(WARNING "no touch program: packaged files keep their build times")
  return()
endif()
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
execute_process(COMMAND ${touch} -h -d "@${TORVANIX_SOURCE_DATE_EPOCH}"
                        "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" ${entries}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "setting the packaged files' times failed")
endif()
