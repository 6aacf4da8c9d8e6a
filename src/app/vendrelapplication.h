// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>

#include <functional>

class RaisedError;

// The application object. An error that no handler caught (the library's event handlers, the
// logo and support handlers catch none of their own) is shown to the operator and the event loop
// goes on, instead of unwinding through Qt and ending the program.
class VendrelApplication : public QApplication
{
    Q_OBJECT

public:
    VendrelApplication(int &argc, char **argv);

    void setUncaughtErrorHandler(std::function<void(const RaisedError &)> handler) { m_handler = std::move(handler); }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    std::function<void(const RaisedError &)> m_handler;
};
