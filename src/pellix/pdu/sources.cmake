# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix_pdu PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/smspdu.h
  ${CMAKE_CURRENT_LIST_DIR}/smspdu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gsmalphabet.h
  ${CMAKE_CURRENT_LIST_DIR}/gsmalphabet_p.h
  ${CMAKE_CURRENT_LIST_DIR}/gsmalphabet.cpp
)
