#include "console/console.h"

#include "base/russian.h"
#include "events/eventcatalog.h"

namespace dorvan {

namespace {

const QStringList sensorHeaders = {
    QStringLiteral("№ п/п"), QStringLiteral("Адрес"), QStringLiteral("Датчик"),
    QStringLiteral("Ш1"), QStringLiteral("Ш2"), QStringLiteral("Порог 1"),
    QStringLiteral("Сигнал 1"), QStringLiteral("Порог 2"), QStringLiteral("Сигнал 2"),
    QStringLiteral("Состояние"), QStringLiteral("На охране Ш1"), QStringLiteral("На охране Ш2")};

const QStringList diagnosticsHeaders = {
    QStringLiteral("№ позиции"), QStringLiteral("Перед.байты"), QStringLiteral("Прин.байты"),
    QStringLiteral("Число пер.пакетов"), QStringLiteral("Число пр.пакетов"),
    QStringLiteral("Ошибки КС"), QStringLiteral("Тайм-ауты"), QStringLiteral("Связь")};

void writeHeaders(TextGridModel &grid, const QStringList &headers)
{
    for (int column = 0; column < headers.size(); ++column)
        grid.setCell(column, 0, headers[column]);
}

} // namespace

Console::Console(Prompter &display, Clock &clock, SerialLine &line, AlarmSound &sound,
                 QObject *parent)
    : QObject(parent),
      operatorBoxes(display),
      faults(display),
      ctx{QString(), operatorBoxes, faults, clock},
      StringGrid1(SensorColumnCount, SlotCount + 1),
      StringGridCOM(DiagnosticsColumnCount, SlotCount + 1),
      hardware(ctx, table, port),
      sensorFiles(ctx, table, hardware),
      operators(ctx),
      events(ctx),
      alarms(ctx, sound),
      sensorRows(StringGrid1),
      eventSink(events, alarms),
      link(ctx, table, port, sensorRows, StringGridCOM, captions, eventSink, line),
      report(ctx),
      heartbeat(clock, [this] { return link.passes(); }),
      trends(ctx)
{
}

void Console::layOutGrids()
{
    writeHeaders(StringGrid1, sensorHeaders);
    writeHeaders(StringGridCOM, diagnosticsHeaders);
    for (int slot = 0; slot < SlotCount; ++slot) {
        StringGridCOM.setCell(int(DiagnosticsColumn::Number), slot + 1, QString::number(slot + 1));
        link.statistics().clearSlotStats(slot);
        StringGridCOM.clearRow(slot + 1, int(DiagnosticsColumn::RxBytes), int(DiagnosticsColumn::Last));
    }
    for (int slot = 0; slot < SlotCount; ++slot)
        sensorRows.show(slot, SensorColumn::Number, QString::number(slot + 1));
    table.Reset_table();
    for (int row = 1; row <= SlotCount; ++row)
        StringGrid1.setRowStyle(row, RowStyle());
    captions.set(Captions::panel(1), QStringLiteral("Alt+X-Выход"));
}

void Console::FormCreate(const QString &workDir)
{
    ctx.workDir = workDir;
    layOutGrids();
    alarms.FormCreate();

    hardware.Ini_Hw();
    operators.Ini_chop();
    sensorFiles.Ini_sm();

    for (int slot = 0; slot < SlotCount; ++slot)
        Refresh_row(slot);
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!table.occupied(slot))
            continue;
        sensorRows.showGuard(slot, 1, table[slot].armed1);
        sensorRows.showGuard(slot, 2, table[slot].armed2);
    }
    table.missedReplies.fill(0);
    showSensorCount();
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (table.occupied(slot))
            link.statistics().showStoredSlotStats(slot);
    }
    startTime = ctx.clock.nowDays();
    if (recordTrends && trends.start(workDir, true))
        link.trendBuffer = &trends.buffer;

    const bool opened = link.Open_port(port.portNumber()) == 1;
    captions.set(Captions::panel(2),
                 port.portText() + (opened ? QStringLiteral(" включён") : QStringLiteral(" выключен")));
    logWork(eventText(EventText::WorkStart));
    started_ = true;
}

void Console::Refresh_row(int slot)
{
    if (!table.occupied(slot))
        return;
    const SensorRecord &r = table[slot];
    sensorRows.show(slot, SensorColumn::Address, QString::number(r.address));
    sensorRows.show(slot, SensorColumn::Model, modelName(r.model));
    if (r.alarm1 <= 1)
        sensorRows.showLoopAlarm(slot, 1, r.alarm1);
    if (r.alarm2 <= 1)
        sensorRows.showLoopAlarm(slot, 2, r.alarm2);
    sensorRows.show(slot, SensorColumn::Threshold1, ru::generalNumber(r.threshold1));
    sensorRows.show(slot, SensorColumn::Threshold2, ru::generalNumber(r.threshold2));
    if (r.model == 1) {
        sensorRows.show(slot, SensorColumn::Signal1, ru::generalNumber(r.signal1));
        sensorRows.show(slot, SensorColumn::Signal2, ru::generalNumber(r.signal2));
    } else if (r.model == 0) {
        sensorRows.show(slot, SensorColumn::Signal1, ru::generalNumber(r.signalM0a));
        sensorRows.show(slot, SensorColumn::Signal2, ru::generalNumber(r.signalM0b));
    }
    sensorRows.show(slot, SensorColumn::State, stateText(r.state));

    if (r.state == SensorState::NoLink)
        setRowColor(slot, Colour::DarkRed);
    else if (isFaultEvent(r.state))
        setRowColor(slot, Colour::AlarmRed);
    else if (r.state == SensorState::Normal)
        setRowColor(slot, (r.alarm1 == 1 || r.alarm2 == 1) ? Colour::AlarmRed : Colour::Lime);
    sensorRows.repaint();
}

void Console::showSensorCount()
{
    captions.set(QStringLiteral("Label8"),
                 QStringLiteral("Всего датчиков = %1   ").arg(table.Count_sensors()));
}

void Console::setRowColor(int slot, quint32 colour)
{
    sensorRows.setColour(slot, colour);
}

bool Console::closeQuery()
{
    if (shutDown_)
        return true;
    if (!ctx.prompter.askYesNo(QStringLiteral("Завершить работу ?"), QStringLiteral("Выход")))
        return false;
    shutdown();
    return true;
}

void Console::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    link.halt();
    heartbeat.stop();
    if (!started_) {
        emit quitRequested();
        return;
    }
    table.Mark_no_link();
    hardware.Save_Hw();
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (table.occupied(slot))
            sensorFiles.saveSlot(slot, false);
    }
    link.closePort();
    link.trendBuffer = nullptr;
    trends.stop();
    emit quitRequested();
    logWork(eventText(EventText::WorkEnd));
}

void Console::logWork(const QString &text)
{
    events.Put_sys_msg(EventRecord::make(0, ctx.clock.nowDays(), EventCode::Work, text));
}

void Console::setLoopGuard(int slot, int loop, bool arm)
{
    if (!table.occupied(slot) || (loop != 1 && loop != 2))
        return;
    SensorRecord &r = table[slot];
    quint8 &flag = loop == 1 ? r.armed1 : r.armed2;
    if ((flag == 1) == arm)
        return;
    flag = arm ? 1 : 0;

    const quint8 code = arm ? (loop == 1 ? EventCode::Armed1 : EventCode::Armed2)
                            : (loop == 1 ? EventCode::Disarmed1 : EventCode::Disarmed2);
    const QString text = eventText(code, {loop, r.model, qint32(r.address)});
    events.Put_msg(EventRecord::make(qint32(r.address), ctx.clock.nowDays(), code, text), r.model);

    sensorRows.showGuard(slot, loop, flag);
    if (arm)
        setRowColor(slot, Colour::Lime);
    else if (r.armed1 == 0 && r.armed2 == 0)
        setRowColor(slot, Colour::Aqua);
    sensorRows.repaint();
}

void Console::disarmByAddress(const QString &typedAddress, int loop)
{
    const auto number = ru::parseInt32(typedAddress);
    if (!number || *number == 0)
        return;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (table[slot].address == quint32(*number)) {
            setLoopGuard(slot, loop, false);
            return;
        }
    }
}

} // namespace dorvan
