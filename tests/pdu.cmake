# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(gsmalphabet SOURCES tst_gsmalphabet.cpp LIBS pellix_pdu)
pellix_add_test(smspdu SOURCES tst_smspdu.cpp LIBS pellix_pdu)
# Cross-check with python3-gammu, run by the system interpreter (Debian's dist-packages).
pellix_add_test(pduoracle SOURCES tst_pduoracle.cpp LIBS pellix_pdu)
target_compile_definitions(tst_pduoracle PRIVATE
  PELLIX_ORACLE_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/oracle/gammu_crosscheck.py"
  PELLIX_ORACLE_PYTHON="/usr/bin/python3")
