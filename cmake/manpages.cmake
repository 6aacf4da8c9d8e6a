# SPDX-License-Identifier: GPL-3.0-or-later
# Manual pages made at build time from each program's own --help and --version by help2man, so
# that the page says what the program says: an option added to --help is in the page too.
find_program(PELLIX_HELP2MAN help2man)
find_program(PELLIX_GZIP gzip)
if(NOT PELLIX_HELP2MAN OR NOT PELLIX_GZIP)
  message(STATUS "help2man or gzip not installed: no manual pages (the Debian package needs them; "
                 "scripts/prepare installs help2man)")
endif()

# pellix_man_page(<target> <what the program is, for the NAME line> [COMMANDS]): <name>.1.gz in
# <build>/man, installed in share/man/man1. COMMANDS: the program has commands with a --help of
# their own ("pellix send --help"); each goes into a COMMANDS section.
function(pellix_man_page target summary)
  cmake_parse_arguments(M "COMMANDS" "" "" ${ARGN})
  if(NOT PELLIX_HELP2MAN OR NOT PELLIX_GZIP)
    return()
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${name}.1.gz)
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${PELLIX_HELP2MAN} -DGZIP=${PELLIX_GZIP} -DPROGRAM=$<TARGET_FILE:${target}>
            -DSUMMARY=${summary} -DCOMMANDS=${M_COMMANDS} -DOUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/help2man.cmake
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/help2man.cmake
    COMMENT "Writing the manual page of ${name}"
    VERBATIM)
  add_custom_target(man_${name} ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION share/man/man1)
endfunction()
