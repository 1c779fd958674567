#pragma once

#include "trends/trendview.h"

#include <QChartView>
#include <QTimer>

class QDateTimeAxis;
class QLineSeries;
class QScatterSeries;
class QValueAxis;

namespace dorvan {

// Loop 1 and loop 2 signal against threshold over a range of time, with the
// sensor's events marked on the time axis. An interactive chart zooms with
// the wheel or a dragged band, pans with the right button, and tells the
// values under the cursor; each such move asks for the new range's data.
class TrendChart : public QChartView
{
    Q_OBJECT

public:
    explicit TrendChart(bool interactive, QWidget *parent = nullptr);

    void showView(const TrendView &view, const std::vector<TrendMark> &marks);
    // Pixel columns of the plot area: what the reduction reduces to.
    int plotColumns() const;
    const TrendView &shownView() const { return view_; }
    qint64 shownFrom() const { return from_; }
    qint64 shownTo() const { return to_; }

signals:
    // The operator zoomed or panned to [fromMs, toMs).
    void rangeChosen(qint64 fromMs, qint64 toMs);
    // What lies under the cursor, as a line of text; empty when off the plot.
    void hovered(const QString &text);

protected:
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setRange(qint64 fromMs, qint64 toMs, bool chosen);
    QString describeAt(qint64 t) const;

    bool interactive_;
    QLineSeries *series_[TrendView::SeriesCount]{};
    QScatterSeries *marks_ = nullptr;
    QDateTimeAxis *timeAxis_ = nullptr;
    QValueAxis *valueAxis_ = nullptr;
    TrendView view_;
    std::vector<TrendMark> markList_;
    qint64 from_ = 0;
    qint64 to_ = 0;
    QPoint panFrom_;
    bool panning_ = false;
    QTimer settle_; // a zoom or pan is asked for once the wheel or mouse rests
};

} // namespace dorvan
