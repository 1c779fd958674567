#pragma once

#include "trends/trendaxis.h"
#include "trends/trendview.h"

#include <QTimer>
#include <QWidget>

namespace dorvan {

// Loop 1 and loop 2 signal against threshold over a range of time, with the
// sensor's events marked above the curves. A time without replies is left
// empty (shaded, the curves broken), never bridged. An interactive chart
// zooms with the wheel or a dragged band, pans with the right button, and
// tells the values under the cursor; each such move asks for the new range's
// data.
class TrendChart : public QWidget
{
    Q_OBJECT

public:
    explicit TrendChart(bool interactive, QWidget *parent = nullptr);

    void showView(const TrendView &view, const std::vector<TrendMark> &marks);
    // A line above the legend (the threshold dialog names its sensor).
    void setTitle(const QString &title);
    // Pixel columns of the plot area: what the reduction reduces to.
    int plotColumns() const;
    const TrendView &shownView() const { return view_; }
    const std::vector<TrendMark> &shownMarks() const { return markList_; }
    qint64 shownFrom() const { return from_; }
    qint64 shownTo() const { return to_; }
    // What the line under the chart says for the time t.
    QString describeAt(qint64 t) const;

signals:
    // The operator zoomed or panned to [fromMs, toMs).
    void rangeChosen(qint64 fromMs, qint64 toMs);
    // What lies under the cursor, as a line of text; empty when off the plot.
    void hovered(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void setRange(qint64 fromMs, qint64 toMs, bool chosen);
    // The plot area and the ticks, worked out again when the size, the
    // values or the range change; painting and the cursor only use them.
    void layOut();
    QRect plotArea() const { return plot_; }
    double xOf(double t) const;
    double yOf(double v) const;
    qint64 timeAt(double x) const;
    void paintLegend(class QPainter &painter) const;
    void paintAxes(QPainter &painter) const;
    void paintSeries(QPainter &painter) const;
    void paintMarks(QPainter &painter) const;

    bool interactive_;
    QString title_;
    TrendView view_;
    std::vector<TrendMark> markList_;
    qint64 from_ = 0;
    qint64 to_ = 0;
    double low_ = 0;
    double high_ = 1;
    QRect plot_;
    std::vector<AxisTick> valueTicks_;
    std::vector<AxisTick> timeTicks_;
    QPoint panFrom_;
    bool panning_ = false;
    int bandFrom_ = -1; // x where a left-button band began
    int bandTo_ = -1;
    QTimer settle_; // a zoom or pan is asked for once the wheel or mouse rests
};

} // namespace dorvan
