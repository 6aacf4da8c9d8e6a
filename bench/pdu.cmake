# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_bench(pdu SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_pdu.cpp LIBS pellix_pdu)
