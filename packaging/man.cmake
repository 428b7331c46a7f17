# Manual pages, section 1, one per installed program. The command lines' pages are made at build time
# by help2man from the programs' own --help, so they say what the programs say; the two window programs
# (whose --help would open a window) have pages written here. Each page is installed gzipped with the
# package of its program.
find_program(VANTOR_HELP2MAN help2man)
set(VANTOR_MAN_DIR ${CMAKE_BINARY_DIR}/packaging/man)
set(VANTOR_MAN_PAGES)

# vantor_man_from_help(TARGET PROGRAM COMPONENT SUMMARY)
function(vantor_man_from_help target program component summary)
  if(NOT TARGET ${target})
    return()
  endif()
  if(NOT VANTOR_HELP2MAN)
    message(STATUS "help2man not found: no manual page for ${program}")
    return()
  endif()
  set(page ${VANTOR_MAN_DIR}/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTOR_MAN_DIR}
    COMMAND ${VANTOR_HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
      --name=${summary} --output=${page} $<TARGET_FILE:${target}>
    COMMAND gzip -9 -n -f ${page}
    DEPENDS ${target} VERBATIM)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  set(VANTOR_MAN_PAGES ${VANTOR_MAN_PAGES} ${page}.gz PARENT_SCOPE)
endfunction()

# vantor_man_written(TARGET PAGE COMPONENT)
function(vantor_man_written target page component)
  if(NOT TARGET ${target})
    return()
  endif()
  get_filename_component(name ${page} NAME)
  add_custom_command(OUTPUT ${VANTOR_MAN_DIR}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${VANTOR_MAN_DIR}
    COMMAND gzip -9 -n -c ${page} > ${VANTOR_MAN_DIR}/${name}.gz
    DEPENDS ${page} VERBATIM)
  install(FILES ${VANTOR_MAN_DIR}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
  set(VANTOR_MAN_PAGES ${VANTOR_MAN_PAGES} ${VANTOR_MAN_DIR}/${name}.gz PARENT_SCOPE)
endfunction()

vantor_man_from_help(kelvra-cli kelvra kelvra-tools "drive networked LED control cards from the command line")
vantor_man_from_help(ledcard-sim ledcard-sim kelvra-tools "simulated LED control cards on real sockets")
vantor_man_from_help(vantor-cli vantor-cli vantor "LED screen layouts, previews and transfers from the command line")
vantor_man_written(vantor ${CMAKE_CURRENT_LIST_DIR}/debian/Vantor.1 vantor)
vantor_man_written(ledcard-sim-show ${CMAKE_CURRENT_LIST_DIR}/debian/ledcard-sim-show.1 vantor)
if(VANTOR_MAN_PAGES)
  add_custom_target(manual_pages ALL DEPENDS ${VANTOR_MAN_PAGES})
endif()
