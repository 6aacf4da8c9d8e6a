// SPDX-License-Identifier: GPL-3.0-or-later
#include "pellixutilities.h"

#include "pellixerror.h"
#include "profiles/pellixini.h"
#include "transport/comports.h"
#include "transport/serialportdescription.h"

namespace pellix {
namespace {

bool isDialCharacter(QChar c)
{
    // ASCII only: QChar::isDigit() would also take Arabic-Indic or full-width digits, which no
    // semi-octet can carry.
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*') || c == QLatin1Char('#');
}

} // namespace

PellixUtilities::PellixUtilities(QString iniPath)
    : m_iniPath(std::move(iniPath))
{
}

PhoneNumber PellixUtilities::CreatePhoneNumber(const QString &number, bool validate, int numberingPlan)
{
    // The numbering plan identification is four bits of the type-of-address octet.
    if (numberingPlan < 0 || numberingPlan > 15)
        raise(ErrorCode::InvalidArgument, QStringLiteral("numbering plan %1 (0 to 15)").arg(numberingPlan));

    const QString text = number.trimmed();
    if (validate) {
        const QStringView digits = QStringView(text).mid(text.startsWith(QLatin1Char('+')) ? 1 : 0);
        QString problem;
        if (digits.isEmpty())
            problem = QStringLiteral("no digits");
        else if (digits.size() > MaxDigits)
            problem = QStringLiteral("more than %1 digits").arg(MaxDigits);
        else
            for (QChar c : digits)
                if (!isDialCharacter(c)) {
                    problem = QStringLiteral("only an optional leading + and the characters 0-9 * # are allowed");
                    break;
                }
        if (!problem.isEmpty())
            raise(ErrorCode::InvalidPhoneNumber, QStringLiteral("\"%1\": %2").arg(number, problem));
    }
    PhoneNumber result;
    result.Number = text;
    result.NumberingPlan = numberingPlan;
    return result;
}

QList<int> PellixUtilities::ComPorts()
{
    return comPorts(m_iniPath.isEmpty() ? PellixIni::loadDefault() : PellixIni::load(m_iniPath));
}

QString PellixUtilities::PortDescription(int n)
{
    // The console asks for each entry of its list in turn: one look at the machine serves the
    // whole list, since finding the holders takes a pass over every process of the desktop.
    if (!m_described.isValid() || m_described.hasExpired(DescriptionsFreshMs)) {
        m_descriptions.clear();
        const PellixIni ini = m_iniPath.isEmpty() ? PellixIni::loadDefault() : PellixIni::load(m_iniPath);
        for (const SerialPortDescription &port : describeSerialPorts(ini, SerialMachine::current())) {
            if (port.comNumber > 0)
                m_descriptions.insert(port.comNumber, describe(port));
        }
        m_described.start();
    }
    return m_descriptions.value(n);
}

} // namespace pellix
