// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "seededrandom.h"

#include <QByteArray>

namespace pellix::sim {

// FieldBehaviour::vendorNoise: the status lines modules of some vendors say at any moment, which
// no standard promises and a client must step over. The same seed gives the same lines.
class VendorNoise
{
public:
    explicit VendorNoise(quint64 seed);
    // With the given chance one or two lines, each framed by eol; else nothing.
    QByteArray lines(int percent, const QByteArray &eol);

private:
    SeededRandom m_random;
};

} // namespace pellix::sim
