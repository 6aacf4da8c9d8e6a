# SPDX-License-Identifier: GPL-3.0-or-later
# name -> libraries; the source is fuzz_<name>.cpp beside this file.
set(PELLIX_FUZZERS)
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/fuzz_pdu.cpp)
  list(APPEND PELLIX_FUZZERS pdu)
  set(PELLIX_FUZZ_pdu_LIBS pellix_pdu)
endif()
if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/fuzz_atline.cpp)
  list(APPEND PELLIX_FUZZERS atline)
  set(PELLIX_FUZZ_atline_LIBS pellix)
endif()
