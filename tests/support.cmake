# SPDX-License-Identifier: GPL-3.0-or-later
pellix_add_test(frmsupport SOURCES tst_frmsupport.cpp LIBS console)
pellix_add_test(supportcontroller SOURCES tst_supportcontroller.cpp LIBS console pellix_fakes)

# Installs the build into a temporary prefix and checks what lands there; needs the program and
# the compiled help to be built first.
pellix_add_test(install SOURCES tst_install.cpp LIBS console)
add_dependencies(tst_install Vendrel pellix_help)
target_compile_definitions(tst_install PRIVATE
  PELLIX_CMAKE_COMMAND="${CMAKE_COMMAND}"
  PELLIX_BUILD_DIR="${CMAKE_BINARY_DIR}")
