#include "trends/widgets/recentsignalchart.h"

#include "console/console.h"
#include "trends/widgets/trendchart.h"

#include <QVBoxLayout>

namespace dorvan {

RecentSignalChart::RecentSignalChart(Console &console, QWidget *parent) : QWidget(parent), console_(console)
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
    sensor_ = slot >= 0 && slot < SlotCount && console_.table().occupied(slot)
                  ? trendSensorKey(console_.table()[slot].model, quint16(console_.table()[slot].address))
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
    const qint64 now = console_.ctx().clock.nowUtcMs();
    TrendView view;
    view.fromMs = now - SpanMs;
    view.toMs = now;
    if (sensor_ >= 0) {
        if (!store_)
            store_ = std::make_unique<TrendStore>(TrendRecorder::storePath(console_.ctx().workDir),
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
