# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_bench(atchannel SOURCES bench_atchannel.cpp LIBS pellix pellix_fakes)
