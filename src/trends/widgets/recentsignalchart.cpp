#include "trends/widgets/recentsignalchart.h"

#include "base/workcontext.h"
#include "sensors/sensortable.h"
#include "trends/trendrecorder.h"
#include "trends/widgets/trendchart.h"

#include <QVBoxLayout>

namespace dorvan {

RecentSignalChart::RecentSignalChart(const SensorTable &table, const WorkContext &work, QWidget *parent)
    : QWidget(parent), table_(table), work_(work), reader_([&work] { return TrendRecorder::storePath(work.workDir); })
{
    setObjectName(QStringLiteral("RecentSignalChart"));
    chart = new TrendChart(false, this);
    chart->setMinimumSize(380, 300);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart);
    timer_.setInterval(2000);
    connect(&timer_, &QTimer::timeout, this, &RecentSignalChart::refresh);
    connect(&reader_, &TrendReader::answered, this,
            [this](const TrendAnswer &answer) { chart->showView(answer.view, {}); });
}

RecentSignalChart::~RecentSignalChart() = default;

void RecentSignalChart::follow(int slot)
{
    const bool occupied = slot >= 0 && slot < SlotCount && table_.occupied(slot);
    const SensorRecord *r = occupied ? &table_[slot] : nullptr;
    sensor_ = r ? trendSensorKey(r->model, quint16(r->address)) : -1;
    chart->setTitle(r ? QStringLiteral("%1 № %2: сигналы за 10 минут").arg(modelName(r->model)).arg(r->address)
                      : QStringLiteral("Датчик не выбран"));
    refresh();
    timer_.start();
}

void RecentSignalChart::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    timer_.stop();
}

void RecentSignalChart::refresh()
{
    TrendQuery query;
    query.sensor = sensor_;
    query.nowMs = work_.clock.nowUtcMs();
    query.fromMs = query.nowMs - SpanMs;
    query.toMs = query.nowMs;
    query.columns = chart->plotColumns();
    reader_.ask(query);
}

} // namespace dorvan
