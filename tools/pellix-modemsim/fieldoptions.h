// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sim/fieldbehaviour.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <optional>

class QCommandLineParser;

// The virtual modem's field behaviours as command-line flags of pellix-modemsim.
class FieldOptions
{
public:
    FieldOptions();
    void addTo(QCommandLineParser &parser) const;
    // The behaviours the flags ask for; nullopt and a message in `error` for a value that is not one.
    std::optional<pellix::sim::FieldBehaviour> read(const QCommandLineParser &parser, QString &error) const;

private:
    QCommandLineOption m_simBusy;
    QCommandLineOption m_vendorNoise;
    QCommandLineOption m_lateReply;
    QCommandLineOption m_lateCommand;
    QCommandLineOption m_strictCnmi;
    QCommandLineOption m_charsets;
    QCommandLineOption m_emptyListError;
    QCommandLineOption m_stuckPrompt;
    QCommandLineOption m_quiet;
    QCommandLineOption m_bootNoise;
    QCommandLineOption m_loseRouted;
    QCommandLineOption m_lateCount;
    QCommandLineOption m_restartOn;
    QCommandLineOption m_restartCount;
    QCommandLineOption m_restartLines;
    QCommandLineOption m_restartSilence;
    QCommandLineOption m_storedTextMode;
    QCommandLineOption m_simFull;
    QCommandLineOption m_lineSpeed;
    QCommandLineOption m_flood;
    QCommandLineOption m_freezeAfter;
    QCommandLineOption m_restartSpread;
    QCommandLineOption m_emptyRead;
    QCommandLineOption m_registration;
    QCommandLineOption m_noSmsc;
    QCommandLineOption m_storageFull;
    QCommandLineOption m_noCnum;
    QCommandLineOption m_ussd;
    QCommandLineOption m_pinAttempts;
    QCommandLineOption m_ownNumber;
    QCommandLineOption m_imei;
};
