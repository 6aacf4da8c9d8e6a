# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_bench(composer SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_composer.cpp LIBS console pellix_fakes Qt6::Widgets)
