#include "trends/widgets/recentsignalchart.h"

#include "base/workcontext.h"
#include "sensors/sensortable.h"
#include "trends/trendrecorder.h"
#include "trends/widgets/trendchart.h"

#include <QVBoxLayout>

namespace dorvan {

RecentSignalChart::RecentSignalChart(const SensorTable &table, const WorkContext &work, QWidget *parent)
    : QWidget(parent), table_(table), work_(work)
{
    setObjectName(QStringLiteral("RecentSignalChart"));
    chart = new TrendChart(false, this);
    chart->setMinimumSize(340, 300);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart);
    timer_.setInterval(2000);
    connect(&timer_, &QTimer::timeout, this, &RecentSignalChart::refresh);
}

RecentSignalChart::~RecentSignalChart() = default;

void RecentSignalChart::follow(int slot)
{
    sensor_ = slot >= 0 && slot < SlotCount && table_.occupied(slot)
                  ? trendSensorKey(table_[slot].model, quint16(table_[slot].address))
                  : -1;
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
    const qint64 now = work_.clock.nowUtcMs();
    TrendView view;
    view.fromMs = now - SpanMs;
    view.toMs = now;
    if (sensor_ >= 0) {
        if (!store_)
            store_ = std::make_unique<TrendStore>(TrendRecorder::storePath(work_.workDir),
                                                  TrendStore::Mode::ReadOnly);
        if (store_->isOpen() || store_->open()) {
            view = loadTrendView(*store_, sensor_, now - SpanMs, now, now, chart->plotColumns());
            if (store_->fault() != TrendStore::Fault::None)
                store_->close();
        }
    }
    chart->showView(view, {});
}

} // namespace dorvan
