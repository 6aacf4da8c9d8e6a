// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "clickableimage.h"
#include "consolerig.h"
#include "frmsupport.h"
#include "frmvendrel.h"
#include "modutils.h"
#include "pellixerror.h"
#include "qtdesktop.h"
#include "reportlistbox.h"
#include "startupcontroller.h"
#include "supportcontroller.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <memory>


// The whole console over fakes, as the operator meets it.
struct Rig : ConsoleRig<>
{
    explicit Rig(int major = 2, int minor = 6, int revision = 0)
    {
        Setup setup;
        setup.desktop = std::make_unique<FakeDesktop>();
        setup.desktop->missingFilesFail = true;
        setup.facts.major = major;
        setup.facts.minor = minor;
        setup.facts.revision = revision;
        build(std::move(setup));
    }

    frmVendrel &main() const { return console->view(); }
    SupportController &support() const { return console->support(); }
    frmSupport *window() const { return support().view(); }

    // The operator's click on "Show Support", and the window's activation that follows it.
    bool showSupport()
    {
        if (!main().isVisible()) {
            console->show();
            if (!QTest::qWaitForWindowExposed(&main()))
                return false;
        }
        QTest::mouseClick(main().cmdShowSupport, Qt::LeftButton);
        return window() && becameActive(window());
    }

    // The support window shown over a modem whose IMEI the operator has corrected, and a desktop
    // that opens nothing, so that the next button gives an error box.
    bool showSupportWithEditedImei()
    {
        modem->imei = QStringLiteral("351234567890123");
        desktop->openSucceeds = false;
        if (!showSupport())
            return false;
        window()->txtModemIMEI->setText(QStringLiteral("corrected IMEI"));
        return true;
    }

    bool activate(QWidget *window)
    {
        window->activateWindow();
        return becameActive(window);
    }

    // Active as the widgets see it: its activation event has been delivered. (Offscreen, the
    // window system's activation arrives later than QTest::qWaitForWindowActive returns.)
    static bool becameActive(QWidget *window)
    {
        return QTest::qWaitFor([window] { return window->isActiveWindow(); });
    }
};

// An address taken apart as a mail program does (RFC 6068): the recipient, then each header
// field name=value split at "&" and percent-decoded from UTF-8 octets.
struct MailtoParts
{
    bool wellFormed = false;
    QString to;
    QList<QPair<QString, QString>> fields;
    QString field(const QString &name) const
    {
        for (const auto &f : fields)
            if (f.first == name)
                return f.second;
        return QStringLiteral("<absent>");
    }
};

inline QString percentDecoded(const QString &text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text.toLatin1()));
}

inline MailtoParts decodeMailto(const QString &address)
{
    MailtoParts parts;
    // Only printable ASCII, no blank: nothing for a program in between to encode or cut; and no
    // "#", which would start a fragment and drop the rest.
    for (QChar c : address)
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F || c == QLatin1Char('#'))
            return parts;
    if (!address.startsWith(QLatin1String("mailto:")))
        return parts;
    const QString rest = address.mid(7);
    const qsizetype question = rest.indexOf(QLatin1Char('?'));
    parts.to = percentDecoded(rest.left(question));
    if (question >= 0) {
        for (const QString &field : rest.mid(question + 1).split(QLatin1Char('&'))) {
            const qsizetype equals = field.indexOf(QLatin1Char('='));
            if (equals < 0)
                return parts;
            parts.fields.append({percentDecoded(field.left(equals)), percentDecoded(field.mid(equals + 1))});
        }
    }
    parts.wellFormed = true;
    return parts;
}

const QString Subject = QStringLiteral("Pellix support request");

// Keeps every activation from the support window, as a window manager that refuses it would.
class RefusedActivation : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        return event->type() == QEvent::WindowActivate && qobject_cast<frmSupport *>(watched);
    }
};

// What every part of these tests starts from and leaves behind.
class SupportControllerFixture : public QObject
{
    Q_OBJECT

protected:
    QTemporaryDir m_temp;

private Q_SLOTS:
    void initTestCase();
    void init();
};

inline void SupportControllerFixture::initTestCase()
{
    // The log lives in the temporary folder: give the tests one of their own.
    QVERIFY(m_temp.isValid());
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    QCOMPARE(ModUtils::GetTempFolder(), QDir::cleanPath(m_temp.path()));
}

inline void SupportControllerFixture::init()
{
    QFile::remove(SupportController::logFilePath());
}
