// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dialogs.h"

#include <QList>
#include <QString>

#include <functional>

// Scripted boxes for the console's tests. Every box asked is recorded (kind, text, style, title,
// proposed text); answers come from a queue. A box without a scripted answer is closed with OK,
// an input box with OK on its proposed text; unscripted() counts those, so a test can insist
// that every box was expected. While a box is "open" the hooks run, so a test can fire modem
// events or timer ticks at that moment, as they arrive under a real modal box.
class FakeDialogs : public Dialogs
{
public:
    enum class Kind { Message, InformationWithHelp, Input };

    struct Asked
    {
        Kind kind = Kind::Message;
        QString text;       // the message, or the input box's prompt
        int style = 0;      // message boxes; InformationWithHelp records Information
        QString title;
        QString defaultText; // input boxes
    };

    struct Answer
    {
        int button = Ok;       // message boxes
        QString text;          // input boxes: what the operator typed (ignored when cancelled)
        bool cancelled = false;
        int helpPresses = 0;   // InformationWithHelp: Help presses before OK
        std::function<void()> whileOpen; // runs while this box is open

        static Answer ok() { return {}; }
        static Answer pressed(int code) { Answer a; a.button = code; return a; }
        static Answer typed(const QString &text) { Answer a; a.text = text; return a; }
        static Answer cancel() { Answer a; a.cancelled = true; a.button = Cancel; return a; }
        static Answer help(int presses = 1) { Answer a; a.helpPresses = presses; return a; }
    };

    // --- scripting
    void queue(const Answer &answer) { m_answers.append(answer); }
    void queueTyped(const QString &text) { queue(Answer::typed(text)); }
    void queueCancel() { queue(Answer::cancel()); }
    int pendingAnswers() const { return int(m_answers.size()); }
    // Runs inside every box, after it was recorded and before it is answered.
    std::function<void(const Asked &)> whileOpen;

    // --- what was asked
    const QList<Asked> &asked() const { return m_asked; }
    QList<Asked> asked(Kind kind) const;
    int count(Kind kind) const { return int(asked(kind).size()); }
    Asked last() const { return m_asked.isEmpty() ? Asked{} : m_asked.last(); }
    int unscripted() const { return m_unscripted; }
    void clear();

    // Dialogs
    int messageBox(const QString &text, int style, const QString &title) override;
    void informationWithHelp(const QString &text, const QString &title, const std::function<void()> &showHelp) override;
    QString inputBox(const QString &prompt, const QString &title, const QString &defaultText,
                     bool *cancelled = nullptr) override;

private:
    Answer open(const Asked &asked);

    QList<Asked> m_asked;
    QList<Answer> m_answers;
    int m_unscripted = 0;
};
