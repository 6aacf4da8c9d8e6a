# SPDX-License-Identifier: GPL-3.0-or-later
# pellix-modemsim: the virtual modem on a pseudo-terminal, for any AT client (gammu, minicom, ...).
add_executable(pellix-modemsim ${CMAKE_CURRENT_LIST_DIR}/pellix-modemsim/main.cpp)
target_link_libraries(pellix-modemsim PRIVATE pellix Qt6::Core)
