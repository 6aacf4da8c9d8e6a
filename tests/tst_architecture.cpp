// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

const QString TableName = QStringLiteral("architecture.txt");

struct Table
{
    QMap<QString, QSet<QString>> allowed; // room -> rooms it may include
    QStringList problems;
};

Table parseTable(const QString &text)
{
    Table table;
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).section(u'#', 0, 0).simplified(); // tabs count as spaces
        if (line.isEmpty())
            continue;
        const qsizetype colon = line.indexOf(u':');
        const QString room = line.left(colon).trimmed();
        const QString where = QStringLiteral("%1:%2: ").arg(TableName).arg(i + 1);
        if (colon < 0 || room.isEmpty() || room.contains(u' ')) {
            table.problems << where + QStringLiteral("expected \"room: allowed rooms...\", got \"%1\"").arg(line);
            continue;
        }
        if (table.allowed.contains(room))
            table.problems << where + QStringLiteral("room %1 is listed twice").arg(room);
        const QStringList to = line.mid(colon + 1).split(u' ', Qt::SkipEmptyParts);
        table.allowed.insert(room, QSet<QString>(to.begin(), to.end()));
    }
    for (auto it = table.allowed.cbegin(); it != table.allowed.cend(); ++it) {
        QStringList targets(it.value().begin(), it.value().end());
        targets.sort();
        for (const QString &to : targets) {
            if (!table.allowed.contains(to))
                table.problems << QStringLiteral("%1: room %2 may include %3, which has no line of its own")
                                      .arg(TableName, it.key(), to);
        }
    }
    // Peel off rooms whose arrows all lead to peeled rooms; what stays is on or above a cycle, and in
    // a cycle no room is below another.
    QSet<QString> peeled;
    for (bool progress = true; progress;) {
        progress = false;
        for (auto it = table.allowed.cbegin(); it != table.allowed.cend(); ++it) {
            const bool down = std::all_of(it.value().begin(), it.value().end(), [&](const QString &to) {
                return to == it.key() || peeled.contains(to) || !table.allowed.contains(to);
            });
            if (down && !peeled.contains(it.key())) {
                peeled.insert(it.key());
                progress = true;
            }
        }
    }
    QStringList cyclic;
    for (const QString &room : table.allowed.keys()) {
        if (!peeled.contains(room))
            cyclic << room;
    }
    if (!cyclic.isEmpty())
        table.problems << QStringLiteral("%1: arrows must point down, but these rooms are on or above a cycle: %2")
                              .arg(TableName, cyclic.join(u' '));
    return table;
}

// A file's room is its own folder: a subfolder is a room of its own and must be placed in the
// table too, or it could hide includes its parent may not make. Empty when the table lacks it.
QString roomOf(const Table &table, const QString &relativePath)
{
    const QString folder = QFileInfo(relativePath).path();
    return table.allowed.contains(folder) ? folder : QString();
}

// A folder held to the table: src/ names its rooms bare ("pellix/modem"), tools/ with its prefix
// ("tools/pdudump"), so that a tool is placed like any library room and none may include it.
struct Tree
{
    QString folder;
    QString prefix;
};

// The trees of a checkout whose sources are in sourceRoot: that folder and the tools beside it.
QList<Tree> checkoutTrees(const QString &sourceRoot)
{
    return {{sourceRoot, QString()}, {sourceRoot + QStringLiteral("/../tools"), QStringLiteral("tools/")}};
}

// Every breach of the table in the trees, one readable line each.
QStringList architectureProblems(const QList<Tree> &trees, const QString &tableText)
{
    const Table table = parseTable(tableText);
    QStringList problems = table.problems;
    QMap<QString, QString> paths; // as the table places it -> where it is
    for (const Tree &tree : trees) {
        if (!QFileInfo(tree.folder).isDir())
            continue;
        const QDir root(tree.folder);
        QDirIterator it(tree.folder, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            paths.insert(tree.prefix + root.relativeFilePath(path), path);
        }
    }
    const QStringList files = paths.keys();
    const QSet<QString> known(files.begin(), files.end());
    QSet<QString> unplacedFolders;
    static const QRegularExpression directive(QStringLiteral(R"re(^\s*#\s*include\s*"([^"]+)")re"));

    for (const QString &file : files) {
        const QString folder = QFileInfo(file).path();
        const QString from = roomOf(table, file);
        if (from.isEmpty()) {
            if (!unplacedFolders.contains(folder))
                problems << QStringLiteral("%1: folder %2 is in no room of %3; place it in the architecture")
                                .arg(file, folder == u'.' ? QStringLiteral("(source root)") : folder, TableName);
            unplacedFolders.insert(folder);
            continue;
        }
        QFile source(paths.value(file));
        if (!source.open(QIODevice::ReadOnly)) {
            problems << QStringLiteral("%1: cannot be read").arg(file);
            continue;
        }
        const QStringList lines = QString::fromUtf8(source.readAll()).split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QRegularExpressionMatch match = directive.match(lines.at(i));
            if (!match.hasMatch())
                continue;
            const QString name = match.captured(1);
            const QString where = QStringLiteral("%1:%2: #include \"%3\"").arg(file).arg(i + 1).arg(name);
            // The compiler looks beside the including file before the targets' include folders.
            QStringList targets;
            const QString beside = QDir::cleanPath(folder + u'/' + name);
            if (known.contains(beside)) {
                targets << beside;
            } else {
                for (const QString &other : files) {
                    if ((u'/' + other).endsWith(u'/' + name))
                        targets << other;
                }
            }
            if (targets.size() > 1) {
                problems << where + QStringLiteral(" is ambiguous: %1").arg(targets.join(QStringLiteral(" and ")));
                continue;
            }
            if (targets.isEmpty())
                continue; // generated at build time (moc, uic) or not ours
            const QString to = roomOf(table, targets.first());
            if (to.isEmpty() || to == from || table.allowed.value(from).contains(to))
                continue;
            problems << where + QStringLiteral(" (%1): room %2 may not include room %3").arg(targets.first(), from, to);
        }
    }
    return problems;
}

QString realTable()
{
    QFile file(QStringLiteral(PELLIX_ARCHITECTURE_TABLE));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A synthetic source file: "path=contents", one include directive per name.
QString source(const QString &path, const QStringList &includes)
{
    QString text = path + u'=';
    for (const QString &name : includes)
        text += QStringLiteral("#include \"%1\"\n").arg(name);
    return text;
}

} // namespace

class TestArchitecture : public QObject
{
    Q_OBJECT
public:
    explicit TestArchitecture(QString sourceRoot)
        : m_sourceRoot(std::move(sourceRoot))
    {
    }

private Q_SLOTS:
    void rules_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("table"); // empty: tests/architecture.txt
        QTest::addColumn<int>("problemCount");
        QTest::addColumn<QStringList>("mentions");

        QTest::newRow("clean tree passes")
            << QStringList{source("app/main.cpp", {"frmvendrel.h", "pellix/modem/gsm.h", "ui_main.h"}),
                           source("console/frmvendrel.h", {"widgets/twips.h", "gsmmodem.h"}),
                           source("widgets/twips.h", {}), source("modemlib/gsmmodem.h", {}),
                           source("pellix/modem/gsm.h", {"at/channel.h", "pdu/smspdu.h", "pellixerror.h"}),
                           source("pellix/at/channel.h", {"pellixerror.h"}), source("pellix/pdu/smspdu.h", {}),
                           source("pellix/pellixerror.h", {"gsmmodem.h"})}
            << QString() << 0 << QStringList();
        QTest::newRow("upward include fails naming file, line, include and rooms")
            << QStringList{"common/x.cpp=#include <QString>\n#include \"console/y.h\"\n", source("console/y.h", {})}
            << QString() << 1
            << QStringList{"common/x.cpp:2: #include \"console/y.h\"", "room common may not include room console"};
        QTest::newRow("sideways include fails")
            << QStringList{source("phone/book.cpp", {"composer.h"}), source("messaging/composer.h", {})}
            << QString() << 1
            << QStringList{"phone/book.cpp:1", "(messaging/composer.h)", "room phone may not include room messaging"};
        QTest::newRow("every violation is reported, not the first")
            << QStringList{source("platform/a.cpp", {"b.h", "c.h"}), source("widgets/b.h", {}),
                           source("common/c.h", {}), source("modemlib/d.h", {"b.h"})}
            << QString() << 3 << QStringList{"platform/a.cpp:1", "platform/a.cpp:2", "modemlib/d.h:1"};
        QTest::newRow("ambiguous name fails naming both files")
            << QStringList{source("common/a.cpp", {"x.h"}), source("widgets/x.h", {}), source("platform/x.h", {})}
            << QString() << 1 << QStringList{"common/a.cpp:1", "ambiguous", "platform/x.h", "widgets/x.h"};
        QTest::newRow("own folder comes before same name elsewhere")
            << QStringList{source("common/a.cpp", {"x.h"}), source("common/x.h", {}), source("console/x.h", {})}
            << QString() << 0 << QStringList();
        QTest::newRow("folder in the include picks one of two same names")
            << QStringList{source("console/a.cpp", {"platform/x.h"}), source("pellix/sim/x.h", {}),
                           source("platform/x.h", {})}
            << QString() << 0 << QStringList();
        QTest::newRow("folder in the include matches whole folder names only")
            << QStringList{source("platform/a.cpp", {"sim/x.h"}), source("pellix/sim/x.h", {}),
                           source("pellix/nosim/x.h", {})}
            << QString() << 2
            << QStringList{"(pellix/sim/x.h): room platform may not include room pellix/sim", "folder pellix/nosim is in no room"};
        QTest::newRow("generated or missing include is ignored")
            << QStringList{source("common/a.cpp", {"ui_frmvendrel.h", "moc_a.cpp", "a.moc", "console/gone.h"})}
            << QString() << 0 << QStringList();
        QTest::newRow("angle-bracket include is not ours")
            << QStringList{"common/a.cpp=#include <console/y.h>\n", source("console/y.h", {})}
            << QString() << 0 << QStringList();
        QTest::newRow("spaced directive still counts")
            << QStringList{"common/a.cpp=  #  include   \"console/y.h\" // why\n", source("console/y.h", {})}
            << QString() << 1 << QStringList{"common/a.cpp:1"};
        QTest::newRow("a subfolder is a room of its own")
            << QStringList{source("pellix/pdu/tables/septets.cpp", {"pellixerror.h"}),
                           source("pellix/pellixerror.h", {"pdu/smspdu.h"}), source("pellix/pdu/smspdu.h", {})}
            << QString() << 2
            << QStringList{"folder pellix/pdu/tables is in no room", "room pellix may not include room pellix/pdu"};
        QTest::newRow("unknown room fails")
            << QStringList{source("support/modutils.cpp", {}), source("support/numeric.cpp", {}),
                           source("pellixtools/dump.cpp", {}), source("stray.cpp", {})}
            << QString() << 3 << QStringList{"folder support is in no room", "folder pellixtools", "(source root)"};
        QTest::newRow("tools are rooms of their own, below none")
            << QStringList{source("tools/modemsim/main.cpp", {"sim/virtualmodem.h", "server.h"}),
                           source("tools/modemsim/server.h", {}), source("tools/dump/main.cpp", {}),
                           source("pellix/sim/virtualmodem.h", {"server.h"})}
            << QStringLiteral("tools/modemsim: pellix/sim\npellix/sim:\n") << 2
            << QStringList{"pellix/sim/virtualmodem.h:1", "room pellix/sim may not include room tools/modemsim",
                           "folder tools/dump is in no room"};
        QTest::newRow("table allows a room it never defines")
            << QStringList() << QStringLiteral("a: b\n") << 1 << QStringList{"room a may include b"};
        QTest::newRow("table with a cycle")
            << QStringList() << QStringLiteral("top: a\na: b a # may include itself\nb: c\nc: a low\nlow:\n") << 1
            << QStringList{"cycle: a b c top"};
        QTest::newRow("table line without a colon")
            << QStringList() << QStringLiteral("# rooms\na b\n") << 1 << QStringList{"architecture.txt:2"};
    }

    void rules()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, table);
        QFETCH(int, problemCount);
        QFETCH(QStringList, mentions);
        QTemporaryDir tree;
        QVERIFY(tree.isValid());
        // The tree is a checkout: "tools/..." goes beside src/, everything else into it.
        const QString sourceRoot = tree.filePath(QStringLiteral("src"));
        for (const QString &entry : files) {
            const QString name = entry.section(u'=', 0, 0);
            const QString path = name.startsWith(QStringLiteral("tools/")) ? tree.filePath(name)
                                                                             : sourceRoot + u'/' + name;
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(entry.section(u'=', 1).toUtf8());
        }
        if (table.isEmpty())
            table = realTable();
        QVERIFY2(!table.isEmpty(), PELLIX_ARCHITECTURE_TABLE " cannot be read");

        const QStringList problems = architectureProblems(checkoutTrees(sourceRoot), table);
        const QString report = problems.join(u'\n');
        QVERIFY2(problems.size() == problemCount, qPrintable(QStringLiteral("got:\n") + report));
        for (const QString &mention : mentions)
            QVERIFY2(report.contains(mention), qPrintable(mention + QStringLiteral(" missing from:\n") + report));
    }

    void realTree()
    {
        QVERIFY2(QFileInfo(m_sourceRoot).isDir(), qPrintable(m_sourceRoot + QStringLiteral(" is not a folder")));
        const QString table = realTable();
        QVERIFY2(!table.isEmpty(), PELLIX_ARCHITECTURE_TABLE " cannot be read");
        const QList<Tree> trees = checkoutTrees(m_sourceRoot);
        for (const Tree &tree : trees)
            QVERIFY2(QFileInfo(tree.folder).isDir(), qPrintable(tree.folder + QStringLiteral(" is not a folder")));
        const QStringList problems = architectureProblems(trees, table);
        for (const QString &problem : problems)
            qWarning().noquote() << problem;
        if (!problems.isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1 architecture problems in %2 (each listed above)")
                                 .arg(problems.size())
                                 .arg(m_sourceRoot)));
    }

private:
    QString m_sourceRoot;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments();
    // Another checkout can be held to the table: --source-dir <its src>, else $PELLIX_SOURCE_DIR, else
    // ours; the tools/ beside it are held too.
    QString sourceRoot = qEnvironmentVariable("PELLIX_SOURCE_DIR", QStringLiteral(PELLIX_SOURCE_DIR));
    const qsizetype option = arguments.indexOf(QStringLiteral("--source-dir"));
    if (option > 0 && option + 1 < arguments.size()) {
        sourceRoot = arguments.at(option + 1);
        arguments.remove(option, 2);
    }
    TestArchitecture test(sourceRoot);
    return QTest::qExec(&test, arguments);
}

#include "tst_architecture.moc"
