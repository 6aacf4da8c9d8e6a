# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/bytetransport.h
  ${CMAKE_CURRENT_LIST_DIR}/comports.h
  ${CMAKE_CURRENT_LIST_DIR}/comports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/serialtransport.h
  ${CMAKE_CURRENT_LIST_DIR}/serialtransport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tracelog.h
  ${CMAKE_CURRENT_LIST_DIR}/tracelog.cpp
)
