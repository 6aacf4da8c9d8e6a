# SPDX-License-Identifier: GPL-3.0-or-later
# Two tests from one executable: "architecture_rules" proves the checker on trees it writes itself,
# "architecture" holds the real src/ to tests/architecture.txt (failing until src/ follows it).
pellix_add_test(architecture SOURCES tst_architecture.cpp LIBS Qt6::Core ARGS realTree)
target_compile_definitions(tst_architecture PRIVATE
  PELLIX_SOURCE_DIR="${PROJECT_SOURCE_DIR}/src"
  PELLIX_ARCHITECTURE_TABLE="${CMAKE_CURRENT_LIST_DIR}/architecture.txt")
add_test(NAME architecture_rules COMMAND tst_architecture rules)
set_tests_properties(architecture_rules PROPERTIES ENVIRONMENT "${PELLIX_TEST_ENV}" TIMEOUT 300)
