# SPDX-License-Identifier: GPL-3.0-or-later
add_executable(pdudump ${CMAKE_CURRENT_LIST_DIR}/pdudump/main.cpp)
target_link_libraries(pdudump PRIVATE pellix_pdu)
