#include "console/console.h"

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
      operatorBoxes_(display),
      faults_(display),
      ctx_{QString(), operatorBoxes_, faults_, clock},
      StringGrid1_(SensorColumnCount, SlotCount + 1),
      StringGridCOM_(DiagnosticsColumnCount, SlotCount + 1),
      hardware_(ctx_, table_, port_),
      sensorFiles_(ctx_, table_, hardware_),
      operators_(ctx_),
      events_(ctx_),
      alarms_(ctx_, sound),
      sensorRows_(StringGrid1_),
      eventSink_(events_, alarms_),
      link_(ctx_, table_, port_, sensorRows_, StringGridCOM_, captions_, eventSink_, line),
      sensorCommands_({ctx_, table_, sensorRows_, hardware_, sensorFiles_, operators_, events_,
                       link_, captions_}),
      report_(ctx_),
      heartbeat_(clock, [this] { return link_.passes(); }),
      trends_(ctx_),
      parts_{ctx_,       port_,       table_,     selection_,     StringGrid1_,   StringGridCOM_,
             captions_,  hardware_,   sensorFiles_, operators_,   events_,        alarms_,
             link_,      sensorCommands_, report_, faults_}
{
}

void Console::layOutGrids()
{
    writeHeaders(StringGrid1_, sensorHeaders);
    writeHeaders(StringGridCOM_, diagnosticsHeaders);
    for (int slot = 0; slot < SlotCount; ++slot) {
        StringGridCOM_.setCell(int(DiagnosticsColumn::Number), slot + 1, QString::number(slot + 1));
        link_.statistics().clearSlotStats(slot);
        StringGridCOM_.clearRow(slot + 1, int(DiagnosticsColumn::RxBytes), int(DiagnosticsColumn::Last));
    }
    for (int slot = 0; slot < SlotCount; ++slot)
        sensorRows_.show(slot, SensorColumn::Number, QString::number(slot + 1));
    table_.Reset_table();
    for (int row = 1; row <= SlotCount; ++row)
        StringGrid1_.setRowStyle(row, RowStyle());
    captions_.set(Captions::panel(1), QStringLiteral("Alt+X-Выход"));
}

void Console::FormCreate(const QString &workDir)
{
    ctx_.workDir = workDir;
    layOutGrids();
    alarms_.FormCreate();

    hardware_.Ini_Hw();
    operators_.Ini_chop();
    sensorFiles_.Ini_sm();
    table_.noteChanged(SensorTable::AllSlots, SensorChange::Connection);

    for (int slot = 0; slot < SlotCount; ++slot)
        sensorCommands_.Refresh_row(slot);
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!table_.occupied(slot))
            continue;
        sensorRows_.showGuard(slot, 1, table_[slot].armed1);
        sensorRows_.showGuard(slot, 2, table_[slot].armed2);
    }
    table_.missedReplies.fill(0);
    sensorCommands_.showSensorCount();
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (table_.occupied(slot))
            link_.statistics().showStoredSlotStats(slot);
    }
    startTime_ = ctx_.clock.nowDays();
    if (recordTrends_ && trends_.start(workDir, true))
        link_.trendBuffer = &trends_.buffer;

    const bool opened = link_.Open_port(port_.portNumber()) == 1;
    captions_.set(Captions::panel(2),
                 port_.portText() + (opened ? QStringLiteral(" включён") : QStringLiteral(" выключен")));
    logWork(eventText(EventText::WorkStart));
    started_ = true;
}

void Console::run()
{
    if (shutDown_)
        return;
    link_.run();
    if (started_)
        heartbeat_.start(ctx_.workDir);
}

bool Console::closeQuery()
{
    if (shutDown_)
        return true;
    if (!ctx_.prompter.askYesNo(QStringLiteral("Завершить работу ?"), QStringLiteral("Выход")))
        return false;
    shutdown();
    return true;
}

void Console::shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    link_.halt();
    heartbeat_.stop();
    if (!started_) {
        emit quitRequested();
        return;
    }
    table_.Mark_no_link();
    hardware_.Save_Hw();
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (table_.occupied(slot))
            sensorFiles_.saveSlot(slot, false);
    }
    link_.closePort();
    link_.trendBuffer = nullptr;
    trends_.stop();
    emit quitRequested();
    logWork(eventText(EventText::WorkEnd));
}

void Console::logWork(const QString &text)
{
    events_.Put_sys_msg(EventRecord::make(0, ctx_.clock.nowDays(), EventCode::Work, text));
}

} // namespace dorvan
