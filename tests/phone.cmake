# SPDX-License-Identifier: GPL-3.0-or-later
# Each ends on the virtual modem: the phonebook written and read back, forwarding switched on and
# off, and a call from the virtual network (it waits for it, 3 s or more).
pellix_add_test(phonebook SOURCES tst_phonebook.cpp LIBS console pellix_fakes)
pellix_add_test(callforwarding SOURCES tst_callforwarding.cpp LIBS console pellix_fakes)
pellix_add_test(incomingcalls SOURCES tst_incomingcalls.cpp LIBS console pellix_fakes)
