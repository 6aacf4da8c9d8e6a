# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(atreplies SOURCES tst_atreplies.cpp LIBS pellix)
pellix_add_test(pellixgsmmodem SOURCES tst_pellixgsmmodem.cpp LIBS pellix)
target_compile_definitions(tst_pellixgsmmodem PRIVATE PELLIX_MODEMSIM="$<TARGET_FILE:pellix-modemsim>")
add_dependencies(tst_pellixgsmmodem pellix-modemsim)
pellix_add_test(modemfaults SOURCES tst_modemfaults.cpp LIBS pellix)
target_compile_definitions(tst_modemfaults PRIVATE PELLIX_MODEMSIM="$<TARGET_FILE:pellix-modemsim>")
add_dependencies(tst_modemfaults pellix-modemsim)
