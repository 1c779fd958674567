#include "simcommands.h"

#include <QDateTime>
#include <QRegularExpression>

namespace dorvan::sim {

namespace {

CommandResult failure(const QString &text)
{
    CommandResult result;
    result.ok = false;
    result.output = text;
    return result;
}

CommandResult success(const QString &text = {})
{
    CommandResult result;
    result.output = text;
    return result;
}

bool parseAddress(const QString &word, quint16 *address)
{
    bool ok = false;
    const uint value = word.toUInt(&ok);
    if (!ok || value < 1 || value > 65535)
        return false;
    *address = quint16(value);
    return true;
}

bool applyFlag(const QString &flag, SimSensor &sensor)
{
    if (flag == QLatin1String("trip1")) {
        sensor.loop1Tripped = true;
    } else if (flag == QLatin1String("trip2")) {
        sensor.loop2Tripped = true;
    } else if (flag == QLatin1String("silent")) {
        sensor.silent = true;
    } else if (flag.startsWith(QLatin1String("fault="))) {
        bool ok = false;
        const uint code = flag.mid(6).toUInt(&ok);
        if (!ok || code > 63)
            return false;
        sensor.faultCode = quint8(code);
    } else {
        return false;
    }
    return true;
}

} // namespace

QList<SimSensor> parseSensorSpec(const QString &sensorText, QString *error)
{
    const QStringList parts = sensorText.split(u':');
    quint16 first = 0;
    quint16 last = 0;
    const QStringList range = parts.value(0).split(u'-');
    const bool rangeOk = parseAddress(range.value(0), &first)
                         && (range.size() == 1 ? (last = first, true) : parseAddress(range.value(1), &last))
                         && range.size() <= 2 && last >= first;
    const QString model = parts.value(1);
    if (parts.size() < 2 || parts.size() > 3 || !rangeOk
        || (model != QLatin1String("0") && model != QLatin1String("1"))) {
        *error = QStringLiteral("bad sensor \"%1\": use ADDR[-LAST]:MODEL[:FLAGS], "
                                "address 1..65535, model 0 or 1")
                     .arg(sensorText);
        return {};
    }
    SimSensor prototype = SimSensor::make(first, model.toInt());
    if (parts.size() == 3) {
        for (const QString &flag : parts[2].split(u',', Qt::SkipEmptyParts)) {
            if (!applyFlag(flag, prototype)) {
                *error = QStringLiteral("bad flag \"%1\": use trip1, trip2, silent, fault=N").arg(flag);
                return {};
            }
        }
    }
    QList<SimSensor> sensors;
    for (uint address = first; address <= last; ++address) {
        prototype.address = quint16(address);
        sensors.append(prototype);
    }
    return sensors;
}

CommandResult CommandInterpreter::execute(const QString &commandLine)
{
    const QString text = commandLine.section(u'#', 0, 0).trimmed();
    const Words words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return success();
    const QString verb = words[0].toLower();
    if (verb == QLatin1String("trip"))
        return loopCommand(words, true);
    if (verb == QLatin1String("restore"))
        return loopCommand(words, false);
    if (verb == QLatin1String("fault"))
        return faultCommand(words);
    if (verb == QLatin1String("silent"))
        return silentCommand(words, true);
    if (verb == QLatin1String("answer"))
        return silentCommand(words, false);
    if (verb == QLatin1String("value"))
        return valueCommand(words);
    if (verb == QLatin1String("signal") || verb == QLatin1String("ramp") || verb == QLatin1String("burst"))
        return motionCommand(words);
    if (verb == QLatin1String("add"))
        return addCommand(words);
    if (verb == QLatin1String("remove"))
        return removeCommand(words);
    if (verb == QLatin1String("noise"))
        return noiseCommand(words);
    if (verb == QLatin1String("badcrc") && words.size() == 1) {
        line_.faults().badCrc = true;
        return success(QStringLiteral("the next reply carries a wrong checksum"));
    }
    if (verb == QLatin1String("foreign"))
        return foreignCommand(words);
    if (verb == QLatin1String("drop"))
        return dropCommand(words);
    if (words.size() == 1 && (verb == QLatin1String("stats") || verb == QLatin1String("unplug")
                              || verb == QLatin1String("replug")))
        return lineCommand(verb);
    if (verb == QLatin1String("list") && words.size() == 1)
        return listCommand();
    if (verb == QLatin1String("log"))
        return logCommand(words);
    if (verb == QLatin1String("wait"))
        return waitCommand(words);
    if (verb == QLatin1String("help") || verb == QLatin1String("?"))
        return success(help());
    if (verb == QLatin1String("quit") || verb == QLatin1String("exit")) {
        CommandResult result = success();
        result.action = CommandAction::Quit;
        return result;
    }
    return failure(QStringLiteral("unknown command \"%1\" (type help)").arg(text));
}

QList<SimSensor *> CommandInterpreter::targets(const QString &word, QString *error)
{
    QList<SimSensor *> found;
    if (word.compare(QLatin1String("all"), Qt::CaseInsensitive) == 0) {
        for (SimSensor &sensor : line_.sensors())
            found.append(&sensor);
        return found;
    }
    quint16 address = 0;
    if (!parseAddress(word, &address))
        *error = QStringLiteral("\"%1\" is not an address (1..65535) or \"all\"").arg(word);
    else if (SimSensor *sensor = line_.find(address))
        found.append(sensor);
    else
        *error = QStringLiteral("no simulated sensor %1").arg(address);
    return found;
}

CommandResult CommandInterpreter::loopCommand(const Words &words, bool tripped)
{
    if (words.size() != 3 || (words[2] != QLatin1String("1") && words[2] != QLatin1String("2")))
        return failure(QStringLiteral("use: %1 ADDR 1|2").arg(words[0]));
    QString error;
    const QList<SimSensor *> sensors = targets(words[1], &error);
    if (!error.isEmpty())
        return failure(error);
    for (SimSensor *sensor : sensors)
        line_.setLoop(*sensor, words[2].toInt(), tripped);
    return success(QStringLiteral("loop %1 of %2 %3")
                       .arg(words[2], words[1], tripped ? QStringLiteral("tripped") : QStringLiteral("normal")));
}

CommandResult CommandInterpreter::faultCommand(const Words &words)
{
    bool ok = false;
    const uint code = words.value(2).toUInt(&ok);
    if (words.size() != 3 || !ok || code > 63)
        return failure(QStringLiteral("use: fault ADDR CODE (0..63, 0 = normal)"));
    QString error;
    const QList<SimSensor *> sensors = targets(words[1], &error);
    if (!error.isEmpty())
        return failure(error);
    for (SimSensor *sensor : sensors)
        line_.setFault(*sensor, quint8(code));
    return success(QStringLiteral("%1 reports state code %2").arg(words[1]).arg(code));
}

CommandResult CommandInterpreter::silentCommand(const Words &words, bool silent)
{
    if (words.size() != 2)
        return failure(QStringLiteral("use: %1 ADDR").arg(words[0]));
    QString error;
    const QList<SimSensor *> sensors = targets(words[1], &error);
    if (!error.isEmpty())
        return failure(error);
    for (SimSensor *sensor : sensors)
        line_.setSilent(*sensor, silent);
    return success(QStringLiteral("%1 %2").arg(words[1], silent ? QStringLiteral("falls silent")
                                                                : QStringLiteral("answers again")));
}

// signal ADDR 1|2|both LEVEL [NOISE]   a step to LEVEL, noise ± NOISE
// ramp ADDR 1|2|both PER_MINUTE        from where it stands, PER_MINUTE a minute
// burst ADDR 1|2|both AMPLITUDE SECONDS
CommandResult CommandInterpreter::motionCommand(const Words &words)
{
    const QString verb = words.value(0).toLower();
    const QString loopWord = words.value(2).toLower();
    const int firstLoop = loopWord == u"2" ? 1 : 0;
    const int lastLoop = loopWord == u"1" ? 0 : 1;
    bool ok1 = false, ok2 = true;
    const double a = words.value(3).toDouble(&ok1);
    const double b = words.size() > 4 ? words.value(4).toDouble(&ok2) : 0;
    const bool shape = verb == u"signal" ? words.size() >= 4 && words.size() <= 5 && b >= 0
                       : verb == u"ramp" ? words.size() == 4
                                         : words.size() == 5 && b > 0;
    if (!ok1 || !ok2 || !shape || (loopWord != u"1" && loopWord != u"2" && loopWord != u"both"))
        return failure(QStringLiteral("use: signal ADDR 1|2|both LEVEL [NOISE], ramp ADDR 1|2|both PER_MINUTE, "
                                      "burst ADDR 1|2|both AMPLITUDE SECONDS"));
    QString error;
    const QList<SimSensor *> sensors = targets(words[1], &error);
    if (!error.isEmpty())
        return failure(error);
    const qint64 now = line_.clockMs ? line_.clockMs() : QDateTime::currentMSecsSinceEpoch();
    for (SimSensor *sensor : sensors) {
        for (int loop = firstLoop; loop <= lastLoop; ++loop) {
            LoopMotion &m = sensor->motion[loop];
            if (!m.active) {
                m.active = true;
                m.level = loop == 0 ? sensor->signal1 : sensor->signal2;
                m.rampFromMs = now;
            }
            if (verb == u"signal") {
                m.level = a;
                m.noise = b;
                m.rampPerMinute = 0;
                m.rampFromMs = now;
            } else if (verb == u"ramp") {
                m.level = m.baseAt(now);
                m.rampFromMs = now;
                m.rampPerMinute = a;
            } else {
                m.burst = a;
                m.burstUntilMs = now + qint64(b * 1000);
            }
        }
    }
    return success(QStringLiteral("%1 of %2 loop %3: %4").arg(verb, words[1], loopWord, words.mid(3).join(u' ')));
}

CommandResult CommandInterpreter::valueCommand(const Words &words)
{
    static const QStringList names{QStringLiteral("thr1"), QStringLiteral("thr2"),
                                   QStringLiteral("sig1"), QStringLiteral("sig2")};
    bool ok = false;
    const float value = words.value(3).toFloat(&ok);
    const qsizetype which = names.indexOf(words.value(2));
    if (words.size() != 4 || !ok || which < 0)
        return failure(QStringLiteral("use: value ADDR thr1|thr2|sig1|sig2 NUMBER"));
    QString error;
    const QList<SimSensor *> sensors = targets(words[1], &error);
    if (!error.isEmpty())
        return failure(error);
    for (SimSensor *sensor : sensors) {
        float *fields[] = {&sensor->threshold1, &sensor->threshold2, &sensor->signal1, &sensor->signal2};
        *fields[which] = value;
        // A signal set by hand stays where it was put.
        if (which >= 2)
            sensor->motion[which - 2].active = false;
    }
    return success(QStringLiteral("%1 of %2 = %3").arg(words[2], words[1], words[3]));
}

CommandResult CommandInterpreter::addCommand(const Words &words)
{
    if (words.size() != 2)
        return failure(QStringLiteral("use: add ADDR[-LAST]:MODEL[:FLAGS]"));
    QString error;
    const QList<SimSensor> sensors = parseSensorSpec(words[1], &error);
    if (!error.isEmpty())
        return failure(error);
    QStringList added;
    for (const SimSensor &sensor : sensors) {
        if (line_.add(sensor))
            added.append(QString::number(sensor.address));
    }
    if (added.isEmpty())
        return failure(QStringLiteral("already on the line"));
    return success(QStringLiteral("added %1").arg(added.join(u' ')));
}

CommandResult CommandInterpreter::removeCommand(const Words &words)
{
    quint16 address = 0;
    if (words.size() != 2 || !parseAddress(words[1], &address))
        return failure(QStringLiteral("use: remove ADDR"));
    if (!line_.remove(address))
        return failure(QStringLiteral("no simulated sensor %1").arg(address));
    return success(QStringLiteral("removed %1").arg(address));
}

CommandResult CommandInterpreter::noiseCommand(const Words &words)
{
    bool ok = false;
    const int count = words.value(1).toInt(&ok);
    if (words.size() != 2 || !ok || count < 0 || count > 1000)
        return failure(QStringLiteral("use: noise N (0..1000)"));
    line_.faults().noiseBytes = count;
    return success(QStringLiteral("%1 noise bytes go before the next reply").arg(count));
}

CommandResult CommandInterpreter::foreignCommand(const Words &words)
{
    quint16 address = 0;
    if (words.size() > 2 || (words.size() == 2 && !parseAddress(words[1], &address)))
        return failure(QStringLiteral("use: foreign [ADDR]"));
    line_.faults().foreign = true;
    line_.faults().foreignAddress = address;
    return success(QStringLiteral("a reply from an unknown address goes before the next reply"));
}

CommandResult CommandInterpreter::dropCommand(const Words &words)
{
    bool ok = false;
    const int count = words.value(1).toInt(&ok);
    if (words.size() != 2 || !ok || count < 1 || count > 255)
        return failure(QStringLiteral("use: drop N (1..255)"));
    line_.faults().dropBytes = count;
    return success(QStringLiteral("the next reply loses its last %1 byte(s)").arg(count));
}

CommandResult CommandInterpreter::lineCommand(const QString &verb)
{
    CommandResult result = success();
    if (verb == QLatin1String("stats")) {
        result.output = QStringLiteral("sim-stats ") + line_.counters().text();
        result.action = CommandAction::Stats;
    } else {
        result.action = verb == QLatin1String("unplug") ? CommandAction::Unplug : CommandAction::Replug;
    }
    return result;
}

CommandResult CommandInterpreter::logCommand(const Words &words)
{
    const QString state = words.value(1).toLower();
    if (words.size() != 2 || (state != QLatin1String("on") && state != QLatin1String("off")))
        return failure(QStringLiteral("use: log on|off"));
    CommandResult result = success();
    result.action = state == QLatin1String("on") ? CommandAction::LogOn : CommandAction::LogOff;
    return result;
}

CommandResult CommandInterpreter::waitCommand(const Words &words)
{
    bool ok = false;
    const int ms = words.value(1).toInt(&ok);
    if (words.size() != 2 || !ok || ms < 0)
        return failure(QStringLiteral("use: wait MILLISECONDS"));
    CommandResult result = success();
    result.action = CommandAction::Wait;
    result.waitMs = ms;
    return result;
}

CommandResult CommandInterpreter::listCommand() const
{
    if (line_.sensors().isEmpty())
        return success(QStringLiteral("no simulated sensors"));
    QStringList lines;
    for (const SimSensor &sensor : line_.sensors())
        lines.append(sensor.describe());
    return success(lines.join(u'\n'));
}

QString CommandInterpreter::help()
{
    return QStringLiteral(
        "Commands (ADDR is a sensor's address, or \"all\"):\n"
        "  trip ADDR 1|2          loop 1 or 2 of the sensor goes into alarm\n"
        "  restore ADDR 1|2       the loop is back to normal\n"
        "  fault ADDR CODE        report state code CODE (0 normal, 2-5 and 7-11 faults, 9 EEPROM)\n"
        "  silent ADDR            stop answering (the console loses the link after 9 polls)\n"
        "  answer ADDR            answer again\n"
        "  value ADDR thr1|thr2|sig1|sig2 X   change a reported threshold or signal\n"
        "  signal ADDR 1|2|both LEVEL [NOISE]   the loop's signal steps to LEVEL, with noise of ± NOISE\n"
        "  ramp ADDR 1|2|both PER_MINUTE        the signal creeps from where it stands (0 stops it)\n"
        "  burst ADDR 1|2|both AMPLITUDE SECONDS  the signal jumps by about AMPLITUDE for a while\n"
        "                         (a 301's one signal moves with loop 1; a DC component above 0 that\n"
        "                         the console sends becomes the reported threshold)\n"
        "  add ADDR[-LAST]:MODEL[:FLAGS]      put more sensors on the line (flags: trip1,trip2,silent,fault=N)\n"
        "  remove ADDR            take a sensor off the line\n"
        "  noise N                N garbage bytes go before the next reply\n"
        "  badcrc                 the next reply carries a wrong checksum\n"
        "  foreign [ADDR]         a reply from an unknown address goes before the next reply\n"
        "  drop N                 the next reply loses its last N bytes (cut short)\n"
        "  stats                  what the line saw and what was injected (also to --stats-file)\n"
        "  unplug                 the line's device disappears (the port's link points nowhere)\n"
        "  replug                 a new device appears and the port's link is made to it\n"
        "  list                   show every simulated sensor and the DC values it received\n"
        "  log on|off             log received requests with their arrival times\n"
        "  wait MS                pause a scenario for MS milliseconds\n"
        "  help                   this text\n"
        "  quit                   end the simulator");
}

} // namespace dorvan::sim
