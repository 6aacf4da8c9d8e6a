# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DHELP2MAN=<help2man> -DGZIP=<gzip> -DPROGRAM=<program> -DSUMMARY=<text> -DCOMMANDS=<bool>
#       -DOUT=<page.1.gz> -P help2man.cmake
#
# help2man reads the program's --help and --version. Its sections come from the help's headings:
# "Options:" and "Files:" are its own; "Exit statuses:" becomes EXIT STATUS here. With COMMANDS,
# each command of the "Commands" list is asked for its own --help, set as written (the help's
# columns are its layout) in a COMMANDS section before OPTIONS.
get_filename_component(name ${PROGRAM} NAME)
get_filename_component(folder ${OUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
set(raw ${OUT}.tmp)
# The page's date is the release's when the package build sets it, not the day of the build.
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 --name=${SUMMARY} --output=${raw} ${PROGRAM}
  RESULT_VARIABLE status ERROR_VARIABLE said)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man ${PROGRAM}: ${said}")
endif()
file(READ ${raw} page)
file(REMOVE ${raw})

# The program's path as the build ran it is not the installed one.
get_filename_component(folder ${PROGRAM} DIRECTORY)
string(REPLACE "${folder}/" "" page "${page}")
string(REPLACE "\\fI\\,${folder}/" "\\fI\\," page "${page}")
string(REPLACE ".SS \"Exit statuses:\"" ".SH \"EXIT STATUS\"" page "${page}")

# Text set as written: backslashes and leading dots or quotes would be roff, and "-" would come
# out as a hyphen that cannot be typed back into a shell.
function(roff_literal text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(COMMANDS)
  execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed")
  endif()
  # "Commands (...):" then one "  name  summary" line each, up to the blank line.
  string(REGEX MATCH "\nCommands[^\n]*:\n(  [^\n]+\n)+" list "${help}")
  string(REGEX MATCHALL "\n  [a-z][a-z-]*" names "${list}")
  if(NOT names)
    message(FATAL_ERROR "${PROGRAM} --help lists no commands")
  endif()
  set(section ".SH COMMANDS\n")
  foreach(entry IN LISTS names)
    string(STRIP "${entry}" command)
    execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
    if(NOT status EQUAL 0 OR text STREQUAL "")
      message(FATAL_ERROR "${PROGRAM} ${command} --help failed")
    endif()
    roff_literal("${text}" text)
    string(APPEND section ".SS ${command}\n.nf\n${text}.fi\n")
  endforeach()
  string(FIND "${page}" "\n.SH OPTIONS" at)
  if(at LESS 0)
    message(FATAL_ERROR "the page of ${PROGRAM} has no OPTIONS section")
  endif()
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${page}" 0 ${at} before)
  string(SUBSTRING "${page}" ${at} -1 after)
  set(page "${before}${section}${after}")
endif()

file(WRITE ${OUT}.roff "${page}")
set(IN ${OUT}.roff)
include(${CMAKE_CURRENT_LIST_DIR}/gzip.cmake)
file(REMOVE ${OUT}.roff)
