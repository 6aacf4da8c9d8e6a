# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(virtualmodem SOURCES tst_virtualmodem.cpp LIBS pellix)

# gammu (Debian's command line) against pellix-modemsim on a pseudo-terminal.
pellix_add_test(gammuinterop SOURCES tst_gammuinterop.cpp LIBS Qt6::Core)
target_compile_definitions(tst_gammuinterop PRIVATE PELLIX_MODEMSIM="$<TARGET_FILE:pellix-modemsim>")
add_dependencies(tst_gammuinterop pellix-modemsim)
