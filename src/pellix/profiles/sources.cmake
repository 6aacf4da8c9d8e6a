# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pellixini.h
  ${CMAKE_CURRENT_LIST_DIR}/pellixini.cpp
  ${CMAKE_CURRENT_LIST_DIR}/modemprofile.h
  ${CMAKE_CURRENT_LIST_DIR}/modemprofile.cpp
)
