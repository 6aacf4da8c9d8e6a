# SPDX-License-Identifier: GPL-3.0-or-later
# The support window and its handlers; window code, so they belong to the console.
target_sources(console PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/frmsupport.h ${CMAKE_CURRENT_LIST_DIR}/frmsupport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/supportcontroller.h ${CMAKE_CURRENT_LIST_DIR}/supportcontroller.cpp
)
