# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/pellixutilities.h
  ${CMAKE_CURRENT_LIST_DIR}/pellixutilities.cpp
)
