// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "appfacts.h"
#include "busypointer.h"
#include "fakedesktop.h"
#include "fakedialogs.h"
#include "modutils.h"
#include "qtdesktop.h"
#include "qtdialogs.h"
#include "raisederror.h"
#include "raisederrorcode.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

#include <unistd.h>


const QString OddLength = QStringLiteral("Invalid hex string (string is composed by an odd number of digits)");
const QString NotHex = QStringLiteral("Invalid hex string");
const QString Title = QStringLiteral("Pellix Test utility");

inline QByteArray bytesOf(std::initializer_list<int> codes)
{
    QByteArray b;
    for (int c : codes)
        b.append(char(c));
    return b;
}

// Acts on the modal boxes as an operator would: each step runs on the next box that opens.
class BoxOperator : public QObject
{
public:
    explicit BoxOperator(QList<std::function<void(QWidget *)>> steps)
        : m_steps(std::move(steps))
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }
    int done() const { return m_done; }

private:
    void poll()
    {
        QWidget *box = QApplication::activeModalWidget();
        if (!box || box == m_last || !box->isVisible() || m_done >= m_steps.size())
            return;
        m_last = box;
        m_steps.at(m_done++)(box);
        // The same box object may open again (a box re-shown after Help); let the next step act on it.
        QTimer::singleShot(0, this, [this] { m_last = nullptr; });
    }

    QList<std::function<void(QWidget *)>> m_steps;
    QTimer m_timer;
    QWidget *m_last = nullptr;
    int m_done = 0;
};

inline QPushButton *buttonOf(QWidget *box, QMessageBox::StandardButton which)
{
    auto *messageBox = qobject_cast<QMessageBox *>(box);
    return messageBox ? qobject_cast<QPushButton *>(messageBox->button(which)) : nullptr;
}

// Stands in for the program the desktop would start for an address.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl &url) { opened.append(url); }
};
