# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(connection SOURCES tst_connection.cpp LIBS console pellix_fakes)
pellix_add_test(modemport SOURCES tst_modemport.cpp LIBS console pellix_fakes)
pellix_add_test(signalmonitor SOURCES tst_signalmonitor.cpp LIBS console pellix_fakes)
