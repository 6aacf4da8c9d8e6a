# SPDX-License-Identifier: GPL-3.0-or-later
# The fuzz targets and the library each one exercises.
set(PELLIX_FUZZERS pdu atline tracerecording)
set(PELLIX_FUZZ_pdu_LIBS pellix_pdu)
set(PELLIX_FUZZ_atline_LIBS pellix_core)
set(PELLIX_FUZZ_tracerecording_LIBS pellix_sim)
