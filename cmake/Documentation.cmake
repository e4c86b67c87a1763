# The man page and, in the Debian package's layout, the changelog and the
# copyright file. The man page carries the project version and the date of
# the last commit (SOURCE_DATE_EPOCH, see Reproducible.cmake); man page and
# changelog are installed compressed, as Debian packages hold them. gzip -n
# stores no name or time, so the same text gives the same bytes.
find_program(TORVANIX_GZIP gzip REQUIRED)
set(doc ${PROJECT_BINARY_DIR}/doc)

function(torvanix_gzip file)
  execute_process(COMMAND ${TORVANIX_GZIP} -9nf ${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endfunction()

string(TIMESTAMP TORVANIX_MAN_DATE "%Y-%m-%d" UTC)
configure_file(man/torvanix.1.in ${doc}/torvanix.1 @ONLY)
file(COPY_FILE ${doc}/torvanix.1 ${doc}/torvanix.1.tmp)
torvanix_gzip(${doc}/torvanix.1.tmp)
file(RENAME ${doc}/torvanix.1.tmp.gz ${doc}/torvanix.1.gz)
install(FILES ${doc}/torvanix.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The changelog's newest entry is the release the project version names.
file(STRINGS packaging/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^torvanix \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${newest}', not version ${PROJECT_VERSION}: "
                      "add an entry for the release")
endif()
configure_file(packaging/changelog ${doc}/changelog COPYONLY)
torvanix_gzip(${doc}/changelog)

# The license text in the machine-readable copyright format: the body after
# the title and copyright lines, indented by one space, empty lines as " .".
file(READ LICENSE license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.*[^\n])\n*$")
  message(FATAL_ERROR "LICENSE: no copyright line followed by the license text")
endif()
set(TORVANIX_COPYRIGHT "${CMAKE_MATCH_1}")
string(REPLACE "\n\n" "\n.\n" body "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " body "${body}")
set(TORVANIX_LICENSE_TEXT " ${body}")
configure_file(packaging/copyright.in ${doc}/copyright @ONLY)

install(FILES ${doc}/changelog.gz ${doc}/copyright README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
