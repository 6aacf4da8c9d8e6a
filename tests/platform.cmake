# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(modutils SOURCES tst_modutils.cpp LIBS platform pellix_fakes)
pellix_add_test(numericanswer SOURCES tst_numericanswer.cpp LIBS platform)
pellix_add_test(settingsstore SOURCES tst_settingsstore.cpp LIBS platform)
