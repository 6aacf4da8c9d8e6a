# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DCHMLS=<chmls> -DCHM=<Pellix.CHM> -DSOURCES=<help folder> -P checktopicnames.cmake
#
# xchm hands a page to its HTML window under the MIME type of the page's name, as the shared MIME
# database gives it. On Debian 12 ".htm" comes out as application/xhtml+xml, which the window
# shows through its plain-text filter: the operator reads HTML source. Only names that resolve to
# text/html (".html"), style sheets, pictures and the contents and index files may be in the help;
# and every link of the topics, the contents and the index must name a topic the help holds.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${CHMLS} list ${CHM} OUTPUT_VARIABLE listing ERROR_VARIABLE said RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "chmls cannot list ${CHM}: ${said}")
endif()

# "<section> <offset> <size>  <name>" a line; the names begin with "/" or "::".
string(REPLACE "\n" ";" lines "${listing}")
set(topics 0)
set(names)
set(faults)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^ *[0-9]+ +[0-9]+ +[0-9]+  (.+)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  # The archive's own records, and folders.
  if(name MATCHES "^(::|/#|/\\$|/_#_)" OR name MATCHES "/$")
    continue()
  endif()
  list(APPEND names "${name}")
  if(name MATCHES "\\.html$")
    math(EXPR topics "${topics} + 1")
  elseif(NOT name MATCHES "\\.(css|png|gif|jpg|jpeg|hhc|hhk)$")
    list(APPEND faults "${name}")
  endif()
endforeach()

if(faults)
  list(JOIN faults "\n  " shown)
  message(FATAL_ERROR "These files of ${CHM} would be shown as source, not as a page (name topics *.html):\n  ${shown}")
endif()
# href="ports.html#x" in a topic, <param name="Local" value="ports.html"> in the contents and index.
file(GLOB linking ${SOURCES}/*.html ${SOURCES}/*.hhc ${SOURCES}/*.hhk)
set(broken)
foreach(file IN LISTS linking)
  file(READ ${file} text)
  string(REGEX MATCHALL "(href|name=\"Local\" value)=\"[^\"#:]+[\"#]" links "${text}")
  foreach(link IN LISTS links)
    string(REGEX REPLACE "^.*=\"([^\"#]+)[\"#]$" "\\1" target "${link}")
    if(NOT "/${target}" IN_LIST names)
      get_filename_component(from ${file} NAME)
      list(APPEND broken "${from}: ${target}")
    endif()
  endforeach()
endforeach()
if(broken)
  list(REMOVE_DUPLICATES broken)
  list(JOIN broken "\n  " shown)
  message(FATAL_ERROR "Links to what ${CHM} does not hold:\n  ${shown}")
endif()

if(topics EQUAL 0)
  message(FATAL_ERROR "${CHM} holds no *.html topic")
endif()
message(STATUS "${topics} topics, every one named *.html")
