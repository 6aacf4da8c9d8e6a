// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gsmutilities.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>

namespace pellix {

// The library's GsmUtilities: phone numbers as the operator types them, and the COM ports of
// this machine (see transport/comports.h for the numbering).
class PellixUtilities : public GsmUtilities
{
public:
    // A TP-DA holds at most 20 digits (TS 23.040 9.1.2.5: 10 octets of semi-octets).
    static constexpr int MaxDigits = 20;

    // iniPath: the Pellix.ini whose [Ports] section counts; empty = its default location.
    explicit PellixUtilities(QString iniPath = QString());

    // Blanks around the number are dropped. validate: only an optional leading "+" and the dial
    // characters 0-9 * # are accepted, at least one of them and at most MaxDigits; anything else
    // raises InvalidPhoneNumber quoting the number. numberingPlan must be a TS 23.040 plan
    // (0..15), else InvalidArgument.
    PhoneNumber CreatePhoneNumber(const QString &number, bool validate, int numberingPlan) override;
    QList<int> ComPorts() override;
    // describe() of transport/serialportdescription.h for COM n on this machine.
    QString PortDescription(int n) override;

private:
    // How long the descriptions of one look at the machine answer PortDescription.
    static constexpr qint64 DescriptionsFreshMs = 1000;

    QString m_iniPath;
    QHash<int, QString> m_descriptions;
    QElapsedTimer m_described;
};

} // namespace pellix
