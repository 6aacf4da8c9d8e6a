# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/atcommandline.h
  ${CMAKE_CURRENT_LIST_DIR}/atcommandline.cpp
  ${CMAKE_CURRENT_LIST_DIR}/callforwarding.h
  ${CMAKE_CURRENT_LIST_DIR}/callforwarding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/seededrandom.h
  ${CMAKE_CURRENT_LIST_DIR}/virtualclock.h
  ${CMAKE_CURRENT_LIST_DIR}/virtualclock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtualmodem.h
  ${CMAKE_CURRENT_LIST_DIR}/virtualmodem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtualmodemtransport.h
  ${CMAKE_CURRENT_LIST_DIR}/virtualmodemtransport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtualnetwork.h
  ${CMAKE_CURRENT_LIST_DIR}/virtualnetwork.cpp
  ${CMAKE_CURRENT_LIST_DIR}/virtualsim.h
  ${CMAKE_CURRENT_LIST_DIR}/virtualsim.cpp
)
