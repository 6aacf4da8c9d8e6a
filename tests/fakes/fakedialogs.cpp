// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakedialogs.h"

QList<FakeDialogs::Asked> FakeDialogs::asked(Kind kind) const
{
    QList<Asked> result;
    for (const Asked &a : m_asked) {
        if (a.kind == kind)
            result.append(a);
    }
    return result;
}

void FakeDialogs::clear()
{
    m_asked.clear();
    m_answers.clear();
    m_unscripted = 0;
}

FakeDialogs::Answer FakeDialogs::open(const Asked &asked)
{
    m_asked.append(asked);
    Answer answer;
    if (m_answers.isEmpty()) {
        ++m_unscripted;
        answer.text = asked.defaultText;
    } else {
        answer = m_answers.takeFirst();
    }
    if (whileOpen)
        whileOpen(asked);
    if (answer.whileOpen)
        answer.whileOpen();
    return answer;
}

int FakeDialogs::messageBox(const QString &text, int style, const QString &title)
{
    return open({Kind::Message, text, style, title, QString()}).button;
}

void FakeDialogs::informationWithHelp(const QString &text, const QString &title, const std::function<void()> &showHelp)
{
    const Answer answer = open({Kind::InformationWithHelp, text, Information, title, QString()});
    for (int i = 0; i < answer.helpPresses; ++i) {
        if (showHelp)
            showHelp();
    }
}

QString FakeDialogs::inputBox(const QString &prompt, const QString &title, const QString &defaultText, bool *cancelled)
{
    const Answer answer = open({Kind::Input, prompt, 0, title, defaultText});
    if (cancelled)
        *cancelled = answer.cancelled;
    return answer.cancelled ? QString() : answer.text;
}
