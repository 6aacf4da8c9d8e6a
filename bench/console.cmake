# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_bench(reportlog SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_reportlog.cpp LIBS console pellix_fakes Qt6::Widgets)
pellix_add_bench(startup SOURCES ${CMAKE_CURRENT_LIST_DIR}/bench_startup.cpp LIBS console platform pellix Qt6::Widgets)
