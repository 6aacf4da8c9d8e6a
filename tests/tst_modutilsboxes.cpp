// SPDX-License-Identifier: GPL-3.0-or-later
#include "modutilsfixture.h"

class TestModUtilsBoxes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // --- message boxes
    void showMessageBoxPassesStyleAndTitle_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("shownTitle");
        QTest::newRow("no title: the application title") << 48 << "" << Title;
        QTest::newRow("own title") << 48 << "Error #5 from Pellix" << "Error #5 from Pellix";
        QTest::newRow("information") << 64 << "" << Title;
        QTest::newRow("plain") << 0 << "" << Title;
    }

    void showMessageBoxPassesStyleAndTitle()
    {
        QFETCH(int, style);
        QFETCH(QString, title);
        QFETCH(QString, shownTitle);
        FakeDialogs dialogs;
        FakeDesktop desktop;
        ModUtils utils(dialogs, desktop);
        dialogs.queue(FakeDialogs::Answer::pressed(Dialogs::Ok));
        QCOMPARE(utils.ShowMessageBox(QStringLiteral("Timeout"), style, title), int(Dialogs::Ok));
        QCOMPARE(dialogs.asked().size(), 1);
        QCOMPARE(dialogs.last().text, QStringLiteral("Timeout"));
        QCOMPARE(dialogs.last().style, style);
        QCOMPARE(dialogs.last().title, shownTitle);
        QCOMPARE(dialogs.unscripted(), 0);
    }

    void showMessageBoxDefaultsToPlainStyle()
    {
        FakeDialogs dialogs;
        FakeDesktop desktop;
        ModUtils utils(dialogs, desktop);
        utils.ShowMessageBox(QStringLiteral("x"));
        QCOMPARE(dialogs.last().style, 0);
        QCOMPARE(dialogs.last().title, Title);
    }

    void realBoxWithoutActiveWindowIsUnowned()
    {
        QVERIFY(!QApplication::activeWindow());
        QtDialogs dialogs;
        FakeDesktop desktop;
        ModUtils utils(dialogs, desktop);
        bool seen = false;
        BoxOperator op({[&](QWidget *box) {
            auto *mb = qobject_cast<QMessageBox *>(box);
            QVERIFY(mb);
            seen = true;
            QCOMPARE(mb->parentWidget(), nullptr);
            QCOMPARE(mb->windowTitle(), Title);
            QCOMPARE(mb->icon(), QMessageBox::Warning);
            QCOMPARE(mb->textFormat(), Qt::PlainText);
            // CR LF becomes one line break; markup-like text stays literal.
            QCOMPARE(mb->text(), QStringLiteral("Cannot find <b>x</b>\nsecond line"));
            buttonOf(box, QMessageBox::Ok)->click();
        }});
        const int code = utils.ShowMessageBox(QStringLiteral("Cannot find <b>x</b>\r\nsecond line"), 48);
        QVERIFY(seen);
        QCOMPARE(code, int(Dialogs::Ok));
    }

    void realBoxIsOwnedByTheActiveWindow()
    {
        QWidget window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; }));
        QtDialogs dialogs;
        QWidget *owner = nullptr;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        BoxOperator op({[&](QWidget *box) {
            owner = box->parentWidget();
            icon = qobject_cast<QMessageBox *>(box)->icon();
            QTest::keyClick(box, Qt::Key_Escape); // Esc closes a lone OK box as OK
        }});
        QCOMPARE(dialogs.messageBox(QStringLiteral("Please activate"), 64, Title), int(Dialogs::Ok));
        QCOMPARE(owner, &window);
        QCOMPARE(icon, QMessageBox::Information);
        window.close();
        QApplication::setActiveWindow(nullptr);
    }

    void realBoxButtonSets_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("code");
        QTest::newRow("OK/Cancel: Cancel") << (1 | 32) << int(QMessageBox::Cancel) << int(Dialogs::Cancel);
        QTest::newRow("Yes/No: No") << 4 << int(QMessageBox::No) << int(Dialogs::No);
        QTest::newRow("Yes/No/Cancel: Yes") << 3 << int(QMessageBox::Yes) << int(Dialogs::Yes);
        QTest::newRow("Retry/Cancel: Retry") << (5 | 16) << int(QMessageBox::Retry) << int(Dialogs::Retry);
    }

    void realBoxButtonSets()
    {
        QFETCH(int, style);
        QFETCH(int, press);
        QFETCH(int, code);
        QtDialogs dialogs;
        BoxOperator op({[&](QWidget *box) { buttonOf(box, QMessageBox::StandardButton(press))->click(); }});
        QCOMPARE(dialogs.messageBox(QStringLiteral("?"), style, Title), code);
    }

    void realHelpBoxStaysUntilOk()
    {
        QtDialogs dialogs;
        int helpShown = 0;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        BoxOperator op({
            [&](QWidget *box) {
                title = box->windowTitle();
                icon = qobject_cast<QMessageBox *>(box)->icon();
                buttonOf(box, QMessageBox::Help)->click();
            },
            [&](QWidget *box) { buttonOf(box, QMessageBox::Help)->click(); },
            [&](QWidget *box) { buttonOf(box, QMessageBox::Ok)->click(); },
        });
        dialogs.informationWithHelp(QStringLiteral("See Help for more information..."), QStringLiteral("Modem port"),
                                    [&] { ++helpShown; });
        QCOMPARE(op.done(), 3);
        QCOMPARE(helpShown, 2);
        QCOMPARE(title, QStringLiteral("Modem port"));
        QCOMPARE(icon, QMessageBox::Information);
    }

    void realInputBox_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("OK returns the text") << true << "12" << "12" << false;
        QTest::newRow("OK on an empty field") << true << "" << "" << false;
        QTest::newRow("Cancel returns the empty text") << false << "12" << "" << true;
    }

    void realInputBox()
    {
        QFETCH(bool, accept);
        QFETCH(QString, typed);
        QFETCH(QString, answer);
        QFETCH(bool, cancelled);
        QtDialogs dialogs;
        QString proposed;
        QString title;
        QString label;
        Qt::TextFormat format = Qt::AutoText;
        BoxOperator op({[&](QWidget *box) {
            auto *input = qobject_cast<QInputDialog *>(box);
            QVERIFY(input);
            title = input->windowTitle();
            proposed = input->textValue();
            if (auto *l = input->findChild<QLabel *>()) {
                label = l->text();
                format = l->textFormat();
            }
            input->setTextValue(typed);
            accept ? input->accept() : input->reject();
        }});
        bool wasCancelled = !cancelled;
        const QString got = dialogs.inputBox(QStringLiteral("Insert number for <b>:"), QString(),
                                             QStringLiteral("-1"), &wasCancelled);
        QCOMPARE(got, answer);
        QCOMPARE(wasCancelled, cancelled);
        QCOMPARE(proposed, QStringLiteral("-1"));
        QCOMPARE(title, Title); // no caption given: the application title
        QCOMPARE(label, QStringLiteral("Insert number for <b>:"));
        QCOMPARE(format, Qt::PlainText);
    }

    // --- busy pointer and program facts
    void busyPointerRestoresOnEveryPath()
    {
        QVERIFY(!QGuiApplication::overrideCursor());
        {
            BusyPointer busy;
            QVERIFY(QGuiApplication::overrideCursor());
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        QVERIFY(!QGuiApplication::overrideCursor());
        try {
            BusyPointer busy;
            throw RaisedError(5, QStringLiteral("Pellix"), QStringLiteral("Timeout"));
        } catch (const RaisedError &) {
            QVERIFY(!QGuiApplication::overrideCursor());
        }
        {
            // An outer override (another guard) survives an inner guard released early.
            BusyPointer outer;
            {
                BusyPointer inner;
                inner.release();
                inner.release();
                QVERIFY(QGuiApplication::overrideCursor());
            }
            QVERIFY(QGuiApplication::overrideCursor());
        }
        QVERIFY(!QGuiApplication::overrideCursor());
    }

    void appFactsOfThisProgram()
    {
        const AppFacts facts = AppFacts::current();
        QCOMPARE(facts.exeBaseName, QStringLiteral("tst_modutilsboxes"));
        QCOMPARE(facts.exeFolder, QCoreApplication::applicationDirPath());
        QVERIFY(!facts.exeFolder.endsWith(QLatin1Char('/')));
        QCOMPARE(QStringLiteral("%1.%2.%3").arg(facts.major).arg(facts.minor).arg(facts.revision),
                 QStringLiteral("2.6.0"));
        QCOMPARE(facts.title, Title);
    }
};

QTEST_MAIN(TestModUtilsBoxes)
#include "tst_modutilsboxes.moc"
