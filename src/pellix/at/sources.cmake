# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/atcommand.h
  ${CMAKE_CURRENT_LIST_DIR}/atcommand.cpp
  ${CMAKE_CURRENT_LIST_DIR}/unsolicited.h
  ${CMAKE_CURRENT_LIST_DIR}/atlineclassifier.h
  ${CMAKE_CURRENT_LIST_DIR}/atlineclassifier.cpp
  ${CMAKE_CURRENT_LIST_DIR}/atlinesplitter.h
  ${CMAKE_CURRENT_LIST_DIR}/atlinesplitter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/atchannel.h
  ${CMAKE_CURRENT_LIST_DIR}/atchannel.cpp
)
