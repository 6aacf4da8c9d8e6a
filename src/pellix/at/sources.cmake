# SPDX-License-Identifier: GPL-3.0-or-later
target_sources(pellix PRIVATE
)
