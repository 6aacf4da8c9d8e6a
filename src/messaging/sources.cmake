# SPDX-License-Identifier: GPL-3.0-or-later
# SMS messaging: composer and counter, recent numbers, sending, received messages and reports.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/modemreference.h ${CMAKE_CURRENT_LIST_DIR}/modemreference.cpp
  ${CMAKE_CURRENT_LIST_DIR}/composercontroller.h ${CMAKE_CURRENT_LIST_DIR}/composercontroller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recentphones.h ${CMAKE_CURRENT_LIST_DIR}/recentphones.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sendcontroller.h ${CMAKE_CURRENT_LIST_DIR}/sendcontroller.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inboxcontroller.h ${CMAKE_CURRENT_LIST_DIR}/inboxcontroller.cpp
)
target_include_directories(console PUBLIC ${CMAKE_CURRENT_LIST_DIR})
