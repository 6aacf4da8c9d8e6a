# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(frmvendrel SOURCES tst_frmvendrel.cpp LIBS console)
pellix_add_test(startup SOURCES tst_startup.cpp LIBS console pellix_fakes)
pellix_add_test(reportlog SOURCES tst_reportlog.cpp LIBS console pellix_fakes)
