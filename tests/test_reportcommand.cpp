#include "report/reportcommand.h"
#include "filefaults.h"
#include "logcapture.h"
#include "testfiles.h"
#include "trends/trendrecorder.h"
#include "workdir.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

// Each file holds the events named: "A15" is an event with text "A15" and
// code 15.
void writeNamedEvents(const QString &path, const QStringList &events)
{
    QList<EventRecord> records;
    double time = 46362.25;
    for (const QString &event : events) {
        records.append(EventRecord::make(1001, time, quint8(event.mid(1).toInt()), event));
        time += 0.01;
    }
    test::writeEvents(path, records);
}

// The exported texts in order; "header" for each CSV header line.
QStringList exportedTexts(const QByteArray &bytes)
{
    QStringList texts;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        for (const QString &line : QString::fromUtf8(bytes).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            texts.append(line.endsWith(QStringLiteral("Код")) ? QStringLiteral("header") : line.section(u';', 1, 1));
        return texts;
    }
    for (const QByteArray &line : bytes.split('\n')) {
        if (!line.isEmpty())
            texts.append(QJsonDocument::fromJson(line).object().value("text").toString());
    }
    return texts;
}

} // namespace

class TestReportCommand : public QObject
{
    Q_OBJECT

private slots:
    void run_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("texts");

        QTest::newRow("sensor, link losses")
            << QStringList{"--sensor", "301:1001", "--filter", "link-losses"} << 0
            << QStringList{"header", "S15", "S15"};
        QTest::newRow("range: a day without a file is skipped")
            << QStringList{"--from", "06.12.2026", "--to", "08.12.2026"} << 0
            << QStringList{"header", "A20", "A33", "C0", "C15"};
        QTest::newRow("range, alarms, JSON lines, to a file")
            << QStringList{"--from", "05.12.2026", "--to", "08.12.2026", "--filter", "alarms", "--format", "jsonl",
                           "-o", "out/report.jsonl"}
            << 0 << QStringList{"A33"};
        QTest::newRow("a file by its path") << QStringList{"QReport/08.12.2026"} << 0
                                            << QStringList{"header", "C0", "C15"};
        QTest::newRow("nothing selected: the header alone")
            << QStringList{"--sensor", "302:7", "--filter", "alarms"} << 0 << QStringList{"header"};
        QTest::newRow("missing file") << QStringList{"QReport/01.01.2026"} << 1 << QStringList{};
        QTest::newRow("output over an input") << QStringList{"QReport/06.12.2026", "-o", "QReport/06.12.2026"} << 1
                                              << QStringList{};
        QTest::newRow("not a working directory")
            << QStringList{"--from", "06.12.2026", "--to", "06.12.2026", "--workdir", "out"} << 1 << QStringList{};
        QTest::newRow("range backwards") << QStringList{"--from", "08.12.2026", "--to", "06.12.2026"} << 2
                                         << QStringList{};
        QTest::newRow("no such model") << QStringList{"--sensor", "303:1001"} << 2 << QStringList{};
        QTest::newRow("two inputs") << QStringList{"QReport/06.12.2026", "--sensor", "301:1001"} << 2
                                    << QStringList{};
        QTest::newRow("unknown filter") << QStringList{"--sensor", "301:1001", "--filter", "Все"} << 2
                                        << QStringList{};
    }

    void run()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QStringList, texts);

        WorkDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("out")));
        writeNamedEvents(dir.file("Dorvan301DK_mess/1001"), {"S15", "S32", "S15", "S18"});
        writeNamedEvents(dir.file("Dorvan302DK_mess/7"), {"S15"});
        writeNamedEvents(dir.file("QReport/06.12.2026"), {"A20", "A33"});
        writeNamedEvents(dir.file("QReport/08.12.2026"), {"C0", "C15"});
        QFile before(dir.file("QReport/06.12.2026"));
        QVERIFY(before.open(QIODevice::ReadOnly));
        const QByteArray dailyBytes = before.readAll();

        QStringList resolved{QStringLiteral("dorvan-report")};
        for (const QString &argument : arguments)
            resolved.append(argument.contains(u'/') ? dir.file(argument) : argument);
        if (!arguments.contains(QStringLiteral("--workdir")) && arguments.contains(QStringLiteral("--from")))
            resolved << QStringLiteral("--workdir") << dir.path();
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        // No configuration file: --sensor works in the current directory.
        const ConfigFiles noConfig{dir.file("none/user.conf"), dir.file("none/system.conf"), QString()};
        QCOMPARE(runReportProgram(resolved, out, noConfig, dir.path()), status);

        const int output = arguments.indexOf(QStringLiteral("-o"));
        QByteArray written = out.data();
        if (output >= 0 && status == 0) {
            QFile file(dir.file(arguments[output + 1]));
            QVERIFY(file.open(QIODevice::ReadOnly));
            written = file.readAll();
            QVERIFY(out.data().isEmpty());
        }
        QCOMPARE(exportedTexts(written), texts);
        QFile after(dir.file("QReport/06.12.2026"));
        QVERIFY(after.open(QIODevice::ReadOnly));
        QCOMPARE(after.readAll(), dailyBytes);
    }

    // The trend export of a store that cannot be read says why, as for an
    // event file; a store in a directory the user may not write is read.
    void trendsSayWhy_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no store") << "none" << 1 << "нет такого файла или каталога";
        QTest::newRow("not a database") << "damaged" << 1 << "повреждён";
        QTest::newRow("store not readable") << "unreadable" << 1 << "нет доступа";
        QTest::newRow("data/ not to be entered") << "closed" << 1 << "нет доступа";
        QTest::newRow("data/ read-only, store closed") << "read-only" << 0 << "";
    }
    void trendsSayWhy()
    {
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(QString, reason);

        WorkDir dir;
        const QString data = dir.file(QStringLiteral("data"));
        const QString path = TrendRecorder::storePath(dir.path());
        if (fault == u"damaged") {
            writeFile(path, QByteArray(8192, 'x'));
        } else if (fault != u"none") {
            TrendStore store(path);
            TrendSample s;
            s.utcMs = QDateTime::currentMSecsSinceEpoch() - 60000;
            s.address = 2001;
            s.model = 1;
            s.signal1 = 0.5f;
            s.replyMs = 5;
            QVERIFY(store.open() && store.write({s}, s.utcMs));
        }
        QVERIFY(!QFile::exists(path + QStringLiteral("-wal"))); // closed cleanly
        // Nobody's group stays root's: group and others alike.
        const QFile::Permissions readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        const QFile::Permissions enterable = readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
        QFile::setPermissions(dir.path(), enterable | QFile::WriteOwner);
        if (fault == u"unreadable")
            QFile::setPermissions(path, {});
        else
            QFile::setPermissions(path, readable);
        QFile::setPermissions(data, fault == u"closed" ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                       : enterable);
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        const ConfigFiles noConfig{dir.file("none/user.conf"), dir.file("none/system.conf"), QString()};
        int got = -1;
        bool confined = false;
        const QString probe = dir.file(QStringLiteral("Dorvan301DK/probe"));
        writeFile(probe, "x");
        QFile::setPermissions(probe, {});
        LogCapture log;
        {
            // As root, permissions do not bite: the files are opened as nobody.
            const UnprivilegedFiles nobody;
            confined = !QFile(probe).open(QIODevice::ReadOnly);
            got = runReportProgram({QStringLiteral("dorvan-report"), QStringLiteral("--workdir"), dir.path(),
                                    QStringLiteral("--trends"), QStringLiteral("302:2001")},
                                   out, noConfig, dir.path());
        }
        QFile::setPermissions(data, enterable | QFile::WriteOwner);
        QFile::setPermissions(path, readable | QFile::WriteOwner);
        if (!confined && fault != u"none" && fault != u"damaged")
            QSKIP("file permissions do not bind this process (root whose file access cannot be handed to nobody)");
        QCOMPARE(got, status);
        if (status == 0) {
            QVERIFY(out.data().contains(";0,5;"));
            QVERIFY(!QFile::exists(path + QStringLiteral("-shm")));
            return;
        }
        const QStringList said = log.linesWith({QStringLiteral("не открывается"), QStringLiteral("trends.sqlite")});
        QCOMPARE(said.size(), 1);
        QVERIFY2(said[0].endsWith(reason), qPrintable(said[0]));
    }
};

QTEST_GUILESS_MAIN(TestReportCommand)
#include "test_reportcommand.moc"
