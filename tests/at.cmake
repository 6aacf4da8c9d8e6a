# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(atlinesplitter SOURCES tst_atlinesplitter.cpp LIBS pellix)
pellix_add_test(atchannel SOURCES tst_atchannel.cpp LIBS pellix pellix_fakes)
