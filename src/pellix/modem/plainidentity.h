// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace pellix {

// The value of a +CGMI, +CGMM, +CGMR or +CGSN answer (its information lines), with the start-up
// announcements, vendor status lines and line noise that some modems mix in left out. prefix is
// the command's name with a colon ("+CGMI:"), which a few modems put in front of the value.
QString plainIdentity(const QList<QByteArray> &lines, const QByteArray &prefix);

} // namespace pellix
