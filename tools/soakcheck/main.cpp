// soakcheck WORKDIR SIMLOG: compares the events the console logged in
// WORKDIR during a soak run with those the simulator's request log calls for.
// Prints a summary, the missing and the invented events, and exits 1 when
// any event is missing or invented (2 on bad arguments).

#include "soakmodel.h"

#include "events/eventrecord.h"
#include "sensors/sensorrecord.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTextStream>

#include <cstdio>
#include <cstring>

using namespace dorvan;
using namespace dorvan::soak;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QList<Event> readEvents(const QString &path)
{
    QList<Event> events;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return events;
    const QByteArray bytes = file.readAll();
    if (bytes.size() % qsizetype(sizeof(EventRecord)) != 0)
        out() << "warning: " << path << " is not a whole number of records (" << bytes.size() << " bytes)\n";
    for (qsizetype at = 0; at + qsizetype(sizeof(EventRecord)) <= bytes.size(); at += sizeof(EventRecord)) {
        EventRecord record;
        std::memcpy(&record, bytes.constData() + at, sizeof record);
        events.append({record.address, record.code, record.textString()});
    }
    return events;
}

// Every day's file of the run, in the order of the days.
QList<Event> dailyEvents(const QDir &work)
{
    QDir reports(work.filePath(QStringLiteral("QReport")));
    QStringList days = reports.entryList(QDir::Files);
    std::sort(days.begin(), days.end(), [](const QString &a, const QString &b) {
        return a.mid(6, 4) + a.mid(3, 2) + a.left(2) < b.mid(6, 4) + b.mid(3, 2) + b.left(2);
    });
    QList<Event> events;
    for (const QString &day : days)
        events += readEvents(reports.filePath(day));
    return events;
}

// The sensors of the run: every record file, with the arming it keeps.
void addSensors(const QDir &work, ExpectedEvents &expected)
{
    for (int model : {0, 1}) {
        QDir dir(work.filePath(model == 0 ? QStringLiteral("Dorvan301DK") : QStringLiteral("Dorvan302DK")));
        for (const QString &name : dir.entryList(QDir::Files)) {
            bool ok = false;
            const qint32 address = name.toInt(&ok);
            if (ok)
                expected.addSensor(address, model);
        }
    }
}

bool readLog(const QString &path, ExpectedEvents &expected)
{
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!log.atEnd())
        expected.takeLogLine(QString::fromUtf8(log.readLine()).trimmed());
    expected.finish();
    return true;
}

QString describe(const Event &e)
{
    return QStringLiteral("%1 code %2 \"%3\"").arg(e.address).arg(e.code).arg(e.text);
}

// Lists the events, each with its count; returns how many.
int listEvents(const char *title, const QList<Event> &events)
{
    QHash<Event, int> counts;
    for (const Event &e : events)
        ++counts[e];
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        out() << title << ": " << it.value() << " x " << describe(it.key()) << '\n';
    return int(events.size());
}

QString byCode(const QList<Event> &events)
{
    QMap<int, int> counts;
    for (const Event &e : events)
        ++counts[e.code];
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        parts.append(QStringLiteral("%1:%2").arg(it.key()).arg(it.value()));
    return parts.join(u' ');
}

// Each sensor's own event file holds exactly its events of the day files, in order.
int checkSensorFiles(const QDir &work, const QList<Event> &daily, const ExpectedEvents &expected)
{
    int disagreeing = 0;
    QMap<qint32, QList<Event>> perSensor;
    for (const Event &e : daily) {
        if (e.address != 0)
            perSensor[e.address].append(e);
    }
    for (auto it = perSensor.cbegin(); it != perSensor.cend(); ++it) {
        const QString dir = QStringLiteral("Dorvan301DK_mess/");
        QList<Event> own = readEvents(work.filePath(dir + QString::number(it.key())));
        if (own.isEmpty())
            own = readEvents(work.filePath(QStringLiteral("Dorvan302DK_mess/") + QString::number(it.key())));
        if (own != it.value() && expected.knows(it.key())) {
            ++disagreeing;
            out() << "sensor file of " << it.key() << " holds " << own.size() << " events, the day files "
                  << it.value().size() << '\n';
        }
    }
    return disagreeing;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: soakcheck WORKDIR SIMLOG\n");
        return 2;
    }
    const QDir work(QString::fromLocal8Bit(argv[1]));
    ExpectedEvents expected;
    addSensors(work, expected);
    if (!readLog(QString::fromLocal8Bit(argv[2]), expected)) {
        std::fprintf(stderr, "soakcheck: cannot read %s\n", argv[2]);
        return 2;
    }
    QList<Event> want = expected.events();
    want.prepend({0, 20, QStringLiteral("Начало работы")});
    want.append({0, 20, QStringLiteral("Выход из программы")});
    const QList<Event> logged = dailyEvents(work);

    out() << "events expected: " << want.size() << " (by code " << byCode(want)
          << "); silent spells of uncertain link loss: " << expected.uncertain().size() << '\n';
    out() << "events logged:   " << logged.size() << " (by code " << byCode(logged) << ")\n";
    const Verdict verdict = judge(want, expected.uncertain(), logged);
    const int missing = listEvents("missing", verdict.missing);
    const int invented = listEvents("invented", verdict.invented);
    out() << "events missing: " << missing << ", invented: " << invented << '\n';
    for (const QString &text : verdict.courses)
        out() << "uncertain link loss: " << text << '\n';
    const int disagreeing = checkSensorFiles(work, logged, expected);
    out() << "sensor event files disagreeing with the day files: " << disagreeing << '\n';
    out().flush();
    return missing == 0 && invented == 0 && disagreeing == 0 ? 0 : 1;
}
