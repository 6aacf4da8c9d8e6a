# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(composer SOURCES tst_composer.cpp LIBS console pellix_fakes)
pellix_add_test(recentphones SOURCES tst_recentphones.cpp LIBS console pellix_fakes)
pellix_add_test(send SOURCES tst_send.cpp LIBS console pellix_fakes)
# Ends with a send to the virtual modem's own number, received live and read from the SIM.
pellix_add_test(inbox SOURCES tst_inbox.cpp LIBS console pellix_fakes)
