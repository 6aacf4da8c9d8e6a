# SPDX-License-Identifier: GPL-3.0-or-later
# Phone services: the SIM phonebook, voice-call forwarding, incoming calls.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/phonebookcontroller.h ${CMAKE_CURRENT_LIST_DIR}/phonebookcontroller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/callforwardingcontroller.h ${CMAKE_CURRENT_LIST_DIR}/callforwardingcontroller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/incomingcalls.h ${CMAKE_CURRENT_LIST_DIR}/incomingcalls.cpp
)
target_include_directories(console PUBLIC ${CMAKE_CURRENT_LIST_DIR})
