# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(atreplies SOURCES tst_atreplies.cpp LIBS pellix)
