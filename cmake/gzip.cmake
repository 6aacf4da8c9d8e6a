# SPDX-License-Identifier: GPL-3.0-or-later
# cmake -DGZIP=<gzip> -DIN=<file> -DOUT=<file.gz> -P gzip.cmake: compressed as Debian ships
# documentation, with the best compression and no name or time in the header.
execute_process(COMMAND ${GZIP} -9 -n -c ${IN} OUTPUT_FILE ${OUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip ${IN} failed")
endif()
