// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtdialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>


namespace {

const QString DefaultTitle = QStringLiteral("Pellix Test utility");

QString titleOrDefault(const QString &title)
{
    return title.isEmpty() ? DefaultTitle : title;
}

// The console's texts break lines with CR LF; a label wants LF alone.
QString displayText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QMessageBox::Icon iconOf(int style)
{
    switch (style & 0xF0) {
    case 0x10: return QMessageBox::Critical;
    case 0x20: return QMessageBox::Question;
    case 0x30: return QMessageBox::Warning;
    case 0x40: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

struct ButtonCode
{
    QMessageBox::StandardButton button;
    int code;
};

// The button sets of the system styles, in the order the system shows them.
QList<ButtonCode> buttonsOf(int style)
{
    using B = QMessageBox;
    switch (style & 0x0F) {
    case 1: return {{B::Ok, Dialogs::Ok}, {B::Cancel, Dialogs::Cancel}};
    case 2: return {{B::Abort, Dialogs::Abort}, {B::Retry, Dialogs::Retry}, {B::Ignore, Dialogs::Ignore}};
    case 3: return {{B::Yes, Dialogs::Yes}, {B::No, Dialogs::No}, {B::Cancel, Dialogs::Cancel}};
    case 4: return {{B::Yes, Dialogs::Yes}, {B::No, Dialogs::No}};
    case 5: return {{B::Retry, Dialogs::Retry}, {B::Cancel, Dialogs::Cancel}};
    default: return {{B::Ok, Dialogs::Ok}};
    }
}

void prepare(QMessageBox &box, const QString &text, const QString &title, QMessageBox::Icon icon)
{
    box.setWindowTitle(titleOrDefault(title));
    box.setTextFormat(Qt::PlainText);
    box.setText(displayText(text));
    box.setIcon(icon);
}

} // namespace

int QtDialogs::messageBox(const QString &text, int style, const QString &title)
{
    QMessageBox box(QApplication::activeWindow());
    prepare(box, text, title, iconOf(style));

    const QList<ButtonCode> buttons = buttonsOf(style);
    QList<QPushButton *> added;
    for (const ButtonCode &b : buttons)
        added.append(box.addButton(b.button));
    // Bits 8..9 of the style name the default button (first, second, third).
    const int defaultIndex = (style >> 8) & 0x3;
    if (defaultIndex < added.size())
        box.setDefaultButton(added.at(defaultIndex));
    // Esc answers as the system's box does: the Cancel button when there is one, OK when it is alone.
    for (int i = 0; i < buttons.size(); ++i) {
        if (buttons.at(i).code == Cancel || buttons.size() == 1)
            box.setEscapeButton(added.at(i));
    }

    box.exec();
    const int index = int(added.indexOf(qobject_cast<QPushButton *>(box.clickedButton())));
    return index >= 0 ? buttons.at(index).code : Cancel;
}

void QtDialogs::informationWithHelp(const QString &text, const QString &title, const std::function<void()> &showHelp)
{
    QMessageBox box(QApplication::activeWindow());
    prepare(box, text, title, QMessageBox::Information);
    QPushButton *ok = box.addButton(QMessageBox::Ok);
    QPushButton *help = box.addButton(QMessageBox::Help);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    // A QMessageBox closes on any button; the box is shown again after Help so that it stays on
    // screen until OK, as the operator expects of a Help button.
    for (;;) {
        box.exec();
        if (box.clickedButton() != help)
            break;
        if (showHelp)
            showHelp();
    }
}

QString QtDialogs::inputBox(const QString &prompt, const QString &title, const QString &defaultText, bool *cancelled)
{
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(titleOrDefault(title));
    dialog.setLabelText(displayText(prompt));
    if (auto *label = dialog.findChild<QLabel *>())
        label->setTextFormat(Qt::PlainText);
    dialog.setTextValue(defaultText);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (cancelled)
        *cancelled = !accepted;
    return accepted ? dialog.textValue() : QString();
}
