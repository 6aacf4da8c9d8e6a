// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "appfacts.h"
#include "fakedesktop.h"
#include "fakedialogs.h"
#include "fakegsmmodem.h"
#include "fakegsmutilities.h"
#include "fakesettingsstore.h"
#include "frmvendrel.h"
#include "helpservice.h"
#include "connection/modemfactory.h"
#include "reportlistbox.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QComboBox>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <functional>
#include <memory>

// The console over fakes, as main() builds it. The console owns what it is given; the raw pointers
// stay valid while it lives (null where a test gave something other than the fake). Modem: the
// type the test reaches its modem object as.
//
// A test's rig derives from this, readies its own members, then calls build(): the console's
// start-up makes the modem there, and may call back into the rig.
// A library error as the Pellix library raises it: 0x80040000 + code, source "Pellix".
inline RaisedError libraryError(quint16 code, const QString &text)
{
    return RaisedError(qint32(0x80040000u + code), QStringLiteral("Pellix"), text);
}

// A factory for the console's modem that makes the real library's modem (virtual modem on type -1,
// no trace file from a test) and tells the test which one it made.
inline std::function<std::unique_ptr<GsmModem>()> realModemFactory(pellix::PellixGsmModem *&real)
{
    return [&real] {
        auto modem = pellix::makePellixGsmModem();
        modem->setTracePath(QString());
        real = modem.get();
        return std::unique_ptr<GsmModem>(std::move(modem));
    };
}

template <class Modem = FakeGsmModem>
class ConsoleRig
{
public:
    static inline const QString App = QStringLiteral("Pellix");
    static inline const QString Section = QStringLiteral("Vendrel");

    // What a test may choose; whatever is left empty is a plain fake.
    struct Setup
    {
        // The settings of a previous run, in the console's section.
        QHash<QString, QString> stored;
        std::unique_ptr<FakeSettingsStore> store;
        std::unique_ptr<Dialogs> dialogs;
        std::unique_ptr<FakeDesktop> desktop;
        std::unique_ptr<GsmUtilities> utilities;
        AppFacts facts = defaultFacts();
        // The modem object the window creates: a FakeGsmModem when empty.
        std::function<std::unique_ptr<GsmModem>()> makeModem;
    };

    static AppFacts defaultFacts()
    {
        AppFacts facts;
        facts.exeFolder = QStringLiteral("/nowhere/bin");
        facts.exeBaseName = Section;
        return facts;
    }

    ConsoleRig(const ConsoleRig &) = delete;
    ConsoleRig &operator=(const ConsoleRig &) = delete;

    FakeDialogs *dialogs = nullptr;
    FakeDesktop *desktop = nullptr;
    FakeSettingsStore *store = nullptr;
    FakeGsmUtilities *utilities = nullptr;
    Modem *modem = nullptr;
    std::unique_ptr<VendrelConsole> console;
    // Where newLines() starts.
    int linesBefore = 0;

    frmVendrel &view() const { return console->view(); }
    FakeGsmModem &fake() const { return *static_cast<FakeGsmModem *>(static_cast<GsmModem *>(modem)); }

    int lineCount() const { return view().lstReport->count(); }
    QString lastLine() const { return view().lstReport->item(lineCount() - 1); }
    // Whole report lines, time stamp included.
    QStringList linesFrom(int first) const
    {
        QStringList lines;
        for (int i = first; i < lineCount(); ++i)
            lines << view().lstReport->item(i);
        return lines;
    }
    void markLog() { linesBefore = lineCount(); }
    // The lines since markLog(), without their "hh:nn:ss  ".
    QStringList newLines() const
    {
        QStringList lines;
        for (const QString &line : linesFrom(linesBefore))
            lines << line.mid(10);
        return lines;
    }
    int countMatching(const QString &pattern) const
    {
        const QRegularExpression re(QRegularExpression::anchoredPattern(pattern));
        int n = 0;
        for (const QString &line : newLines())
            n += re.match(line).hasMatch() ? 1 : 0;
        return n;
    }
    // The list of cmbPhoneNumber.
    QStringList phoneList() const
    {
        QStringList entries;
        for (int i = 0; i < view().cmbPhoneNumber->count(); ++i)
            entries << view().cmbPhoneNumber->itemText(i);
        return entries;
    }

protected:
    ConsoleRig() = default;
    ~ConsoleRig() = default;

    void build(Setup setup = {})
    {
        auto storeOwned = setup.store ? std::move(setup.store) : std::make_unique<FakeSettingsStore>();
        auto dialogsOwned = setup.dialogs ? std::move(setup.dialogs) : std::make_unique<FakeDialogs>();
        auto desktopOwned = setup.desktop ? std::move(setup.desktop) : std::make_unique<FakeDesktop>();
        auto utilitiesOwned = setup.utilities ? std::move(setup.utilities) : std::make_unique<FakeGsmUtilities>();
        store = storeOwned.get();
        dialogs = dynamic_cast<FakeDialogs *>(dialogsOwned.get());
        desktop = desktopOwned.get();
        utilities = dynamic_cast<FakeGsmUtilities *>(utilitiesOwned.get());
        for (auto it = setup.stored.cbegin(); it != setup.stored.cend(); ++it)
            store->set(App, Section, it.key(), it.value());

        ConsoleServices services;
        services.dialogs = std::move(dialogsOwned);
        services.desktop = std::move(desktopOwned);
        services.settingsStore = std::move(storeOwned);
        services.utilities = std::move(utilitiesOwned);
        services.facts = std::move(setup.facts);
        std::function<std::unique_ptr<GsmModem>()> make = std::move(setup.makeModem);
        if (!make)
            make = [] { return std::make_unique<FakeGsmModem>(); };
        services.createModem = [this, make] {
            std::unique_ptr<GsmModem> made = make();
            modem = dynamic_cast<Modem *>(made.get());
            return made;
        };
        console = std::make_unique<VendrelConsole>(std::move(services));
    }

    // Where a feature's tests start: the window loaded and activated, with the boxes, the calls
    // to a scripted modem and the report lines of start-up set aside.
    void buildActive(Setup setup = {})
    {
        build(std::move(setup));
        console->startup().Form_Activate();
        dialogs->clear();
        if (auto *scripted = dynamic_cast<FakeGsmModem *>(static_cast<GsmModem *>(modem)))
            scripted->clearCalls();
        markLog();
    }
};

// A feature's console, activated, over the modem object a test may give (a scripted one when none).
struct FeatureRig : ConsoleRig<GsmModem>
{
    explicit FeatureRig(std::function<std::unique_ptr<GsmModem>()> makeModem = {},
                        std::unique_ptr<GsmUtilities> utilities = std::make_unique<FakeGsmUtilities>())
    {
        Setup setup;
        setup.makeModem = std::move(makeModem);
        setup.utilities = std::move(utilities);
        buildActive(std::move(setup));
    }
};
