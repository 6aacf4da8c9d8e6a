# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(comports SOURCES tst_comports.cpp LIBS pellix)
pellix_add_test(serialtransport SOURCES tst_serialtransport.cpp LIBS pellix)
pellix_add_test(modemprofile SOURCES tst_modemprofile.cpp LIBS pellix)
pellix_add_test(tracelog SOURCES tst_tracelog.cpp LIBS pellix)
pellix_add_test(pellixutilities SOURCES tst_pellixutilities.cpp LIBS pellix)
