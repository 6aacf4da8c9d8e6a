// SPDX-License-Identifier: GPL-3.0-or-later
// The composer with a very long message. For each kind of pasted text: what the paste costs (the
// text box takes it, the change handler copies it into MessageText and recounts it), then a
// keystroke at its end and an alphabet switch, each until painted; and the counter alone at
// growing sizes, whose time per character must stay flat. The window is shown (offscreen unless
// a display is set), so that layout and paint count too.
//
//   bench_composer [characters]   default 100000
#include "composercontroller.h"
#include "fakedesktop.h"
#include "fakedialogs.h"
#include "fakegsmmodem.h"
#include "fakegsmutilities.h"
#include "fakesettingsstore.h"
#include "frmvendrel.h"
#include "multilinetextbox.h"
#include "startupcontroller.h"
#include "vendrelconsole.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// Runs the event loop until the pending layout and paint are done.
void settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::unique_ptr<VendrelConsole> makeConsole()
{
    ConsoleServices services;
    services.dialogs = std::make_unique<FakeDialogs>();
    services.desktop = std::make_unique<FakeDesktop>();
    services.settingsStore = std::make_unique<FakeSettingsStore>();
    services.utilities = std::make_unique<FakeGsmUtilities>();
    services.facts.exeFolder = QStringLiteral("/nowhere/bin");
    services.facts.exeBaseName = QStringLiteral("Vendrel");
    services.createModem = [] { return std::make_unique<FakeGsmModem>(); };
    auto console = std::make_unique<VendrelConsole>(std::move(services));
    console->startup().Form_Activate();
    return console;
}

QString repeated(const QString &piece, int size)
{
    QString text;
    text.reserve(size + piece.size());
    while (text.size() < size)
        text += piece;
    text.truncate(size);
    return text;
}

// wrap: a word-wrap mode to try instead of the window's own.
void pasteAndType(const char *label, int alphabet, const QString &pasted, std::optional<QTextOption::WrapMode> wrap = {})
{
    auto console = makeConsole();
    frmVendrel &view = console->view();
    MultiLineTextBox &box = *view.txtMessageText;
    view.cmbAlphabet->setCurrentIndex(view.cmbAlphabet->findData(alphabet));
    if (wrap)
        box.setWordWrapMode(*wrap);
    view.show();
    settle();
    box.clear();
    box.setFocus();
    QGuiApplication::clipboard()->setText(pasted);

    QElapsedTimer timer;
    timer.start();
    box.paste();
    settle();
    const double pasteMs = msSince(timer);

    constexpr int Keys = 10;
    timer.restart();
    for (int i = 0; i < Keys; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("A"));
        QCoreApplication::sendEvent(&box, &press);
        settle();
    }
    const double keyMs = msSince(timer) / Keys;

    timer.restart();
    for (int code : {16, alphabet}) {
        view.cmbAlphabet->setCurrentIndex(view.cmbAlphabet->findData(code));
        settle();
    }
    const double switchMs = msSince(timer) / 2;
    std::printf("%-44s paste %8.1f ms  keystroke %7.2f ms  alphabet switch %6.2f ms  [%s]\n", label, pasteMs, keyMs,
                switchMs, qPrintable(view.lblMessageLen->text()));
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int size = argc > 1 ? std::atoi(argv[1]) : 100000;

    std::printf("paste of %d characters, then typing at its end (all times until painted):\n", size);
    pasteAndType("words, one paragraph", 7, repeated(QStringLiteral("The quick brown fox jumps over the lazy dog. "), size));
    pasteAndType("lines of 70 characters", 7, repeated(QStringLiteral("The quick brown fox jumps over the lazy dog, again and again!\n"), size));
    pasteAndType("hex digits (8-bit), no blank", 8, repeated(QStringLiteral("0123456789ABCDEF"), size));
    pasteAndType("hex digits, box wrapping anywhere", 8, repeated(QStringLiteral("0123456789ABCDEF"), size),
                 QTextOption::WrapAnywhere);

    std::printf("counter alone (UpdateMessageLen, text read from the box):\n");
    auto console = makeConsole();
    MultiLineTextBox &box = *console->view().txtMessageText;
    for (int n : {1000, 10000, 100000, 1000000}) {
        box.setPlainText(QString(n, QLatin1Char('x')));
        constexpr int Calls = 50;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < Calls; ++i)
            console->composer().UpdateMessageLen();
        const double each = msSince(timer) / Calls;
        std::printf("  %8d characters: %8.3f ms per update, %6.2f ns per character\n", n, each, each * 1e6 / n);
    }
    return 0;
}
