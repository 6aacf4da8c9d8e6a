# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_bench(gsmmodem SOURCES bench_gsmmodem.cpp LIBS pellix)
