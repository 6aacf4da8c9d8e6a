# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/atreplies.h
  ${CMAKE_CURRENT_LIST_DIR}/atreplies.cpp
  ${CMAKE_CURRENT_LIST_DIR}/modemtransports.h
  ${CMAKE_CURRENT_LIST_DIR}/modemtransports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pellixgsmmodem.h
  ${CMAKE_CURRENT_LIST_DIR}/pellixgsmmodem.cpp
)
