#include "trends/widgets/trendchart.h"


#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QMouseEvent>
#include <QScatterSeries>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace dorvan {

namespace {

struct SeriesStyle
{
    const char16_t *name;
    QColor colour;
    Qt::PenStyle pen;
};

const SeriesStyle seriesStyles[TrendView::SeriesCount] = {
    {u"Сигнал 1", QColor(0x1f, 0x5f, 0xbf), Qt::SolidLine},
    {u"Порог 1", QColor(0x1f, 0x5f, 0xbf), Qt::DashLine},
    {u"Сигнал 2", QColor(0xc0, 0x50, 0x10), Qt::SolidLine},
    {u"Порог 2", QColor(0xc0, 0x50, 0x10), Qt::DashLine},
};

constexpr qint64 SmallestRangeMs = 20 * 1000;

// The value of a reduced series nearest to t on the left, or NaN.
double valueAt(const std::vector<QPointF> &points, qint64 t)
{
    auto it = std::upper_bound(points.cbegin(), points.cend(), double(t),
                               [](double x, const QPointF &p) { return x < p.x(); });
    if (it == points.cbegin())
        return std::nan("");
    return std::prev(it)->y();
}

QString number(double value)
{
    return std::isnan(value) ? QStringLiteral("—") : QString::number(value, 'f', 3).replace(u'.', u',');
}

} // namespace

TrendChart::TrendChart(bool interactive, QWidget *parent)
    : QChartView(parent), interactive_(interactive)
{
    auto *chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignTop);
    timeAxis_ = new QDateTimeAxis;
    valueAxis_ = new QValueAxis;
    chart->addAxis(timeAxis_, Qt::AlignBottom);
    chart->addAxis(valueAxis_, Qt::AlignLeft);
    for (int i = 0; i < TrendView::SeriesCount; ++i) {
        series_[i] = new QLineSeries;
        series_[i]->setName(QString::fromUtf16(seriesStyles[i].name));
        QPen pen(seriesStyles[i].colour);
        pen.setStyle(seriesStyles[i].pen);
        pen.setWidth(i % 2 == 0 ? 1 : 2);
        series_[i]->setPen(pen);
        // Hundreds of points and more: OpenGL is not to be relied on here,
        // the plain painter is fast enough for the reduced series.
        chart->addSeries(series_[i]);
        series_[i]->attachAxis(timeAxis_);
        series_[i]->attachAxis(valueAxis_);
    }
    marks_ = new QScatterSeries;
    marks_->setName(QStringLiteral("События"));
    marks_->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    marks_->setMarkerSize(8);
    marks_->setColor(QColor(0xd0, 0x10, 0x10));
    chart->addSeries(marks_);
    marks_->attachAxis(timeAxis_);
    marks_->attachAxis(valueAxis_);
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
    if (interactive_) {
        setRubberBand(QChartView::NoRubberBand);
        setMouseTracking(true);
        setDragMode(QGraphicsView::NoDrag);
    } else {
        chart->legend()->setFont(QFont(font().family(), 8));
        timeAxis_->setLabelsFont(QFont(font().family(), 7));
        valueAxis_->setLabelsFont(QFont(font().family(), 7));
    }
    settle_.setSingleShot(true);
    settle_.setInterval(150);
    connect(&settle_, &QTimer::timeout, this, [this] { emit rangeChosen(from_, to_); });
}

int TrendChart::plotColumns() const
{
    const int width = int(chart()->plotArea().width());
    return std::max(100, width > 0 ? width : viewport()->width() - 60);
}

void TrendChart::showView(const TrendView &view, const std::vector<TrendMark> &marks)
{
    view_ = view;
    markList_ = marks;
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (int i = 0; i < TrendView::SeriesCount; ++i) {
        QList<QPointF> points(view.series[i].cbegin(), view.series[i].cend());
        for (const QPointF &p : points) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
        series_[i]->replace(points);
    }
    if (low > high) {
        low = 0;
        high = 1;
    }
    const double pad = std::max(1e-3, (high - low) * 0.08);
    valueAxis_->setRange(std::min(0.0, low - pad), high + pad);
    QList<QPointF> markPoints;
    for (const TrendMark &mark : marks)
        markPoints.append(QPointF(double(mark.utcMs), high + pad * 0.5));
    marks_->replace(markPoints);
    marks_->setVisible(!markPoints.isEmpty());
    setRange(view.fromMs, view.toMs, false);
}

void TrendChart::setRange(qint64 fromMs, qint64 toMs, bool chosen)
{
    from_ = fromMs;
    to_ = toMs;
    const qint64 span = toMs - fromMs;
    timeAxis_->setFormat(span <= 2LL * 3600 * 1000 ? QStringLiteral("HH:mm:ss")
                         : span <= 2LL * 86400 * 1000 ? QStringLiteral("dd.MM HH:mm")
                                                      : QStringLiteral("dd.MM.yy"));
    timeAxis_->setTickCount(interactive_ ? 9 : 4);
    timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(fromMs), QDateTime::fromMSecsSinceEpoch(toMs));
    if (chosen)
        settle_.start();
}

void TrendChart::wheelEvent(QWheelEvent *event)
{
    if (!interactive_)
        return QChartView::wheelEvent(event);
    const QPointF at = chart()->mapToValue(event->position());
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const double centre = std::clamp(at.x(), double(from_), double(to_));
    qint64 from = qint64(centre - (centre - double(from_)) * factor);
    qint64 to = qint64(centre + (double(to_) - centre) * factor);
    if (to - from < SmallestRangeMs)
        return;
    setRange(from, to, true);
    event->accept();
}

void TrendChart::mousePressEvent(QMouseEvent *event)
{
    if (interactive_ && (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton)) {
        panning_ = true;
        panFrom_ = event->position().toPoint();
        event->accept();
        return;
    }
    if (interactive_ && event->button() == Qt::LeftButton)
        setRubberBand(QChartView::HorizontalRubberBand);
    QChartView::mousePressEvent(event);
}

void TrendChart::mouseMoveEvent(QMouseEvent *event)
{
    if (!interactive_)
        return QChartView::mouseMoveEvent(event);
    if (panning_) {
        const QPoint now = event->position().toPoint();
        const double msPerPixel = double(to_ - from_) / std::max(1.0, chart()->plotArea().width());
        const qint64 shift = qint64(double(panFrom_.x() - now.x()) * msPerPixel);
        panFrom_ = now;
        setRange(from_ + shift, to_ + shift, true);
        event->accept();
        return;
    }
    QChartView::mouseMoveEvent(event);
    const QPointF position = event->position();
    if (!chart()->plotArea().contains(position)) {
        emit hovered(QString());
        return;
    }
    emit hovered(describeAt(qint64(chart()->mapToValue(position).x())));
}

void TrendChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (panning_) {
        panning_ = false;
        event->accept();
        return;
    }
    if (interactive_ && event->button() == Qt::LeftButton && rubberBand() != QChartView::NoRubberBand) {
        // The band zooms the chart's own axis; the new range is read back from it.
        QChartView::mouseReleaseEvent(event);
        setRubberBand(QChartView::NoRubberBand);
        const qint64 from = timeAxis_->min().toMSecsSinceEpoch();
        const qint64 to = timeAxis_->max().toMSecsSinceEpoch();
        if (to - from >= SmallestRangeMs && (from != from_ || to != to_))
            setRange(from, to, true);
        else
            setRange(from_, to_, false);
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

QString TrendChart::describeAt(qint64 t) const
{
    QString text = QDateTime::fromMSecsSinceEpoch(t).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    for (int loop = 0; loop < 2; ++loop) {
        const double signal = valueAt(view_.series[loop * 2], t);
        const double threshold = valueAt(view_.series[loop * 2 + 1], t);
        const double margin = marginPercent(threshold, signal);
        text += QStringLiteral("   Ш%1: сигнал %2, порог %3, запас %4")
                    .arg(loop + 1)
                    .arg(number(signal), number(threshold),
                         std::isnan(margin) ? QStringLiteral("—")
                                            : QString::number(margin, 'f', 1).replace(u'.', u',')
                                                  + QStringLiteral(" %"));
    }
    // The nearest event within a few pixels.
    const double msPerPixel = double(to_ - from_) / std::max(1.0, chart()->plotArea().width());
    for (const TrendMark &mark : markList_) {
        if (std::abs(double(mark.utcMs - t)) <= 4 * msPerPixel) {
            text += QStringLiteral("   ") + mark.text;
            break;
        }
    }
    return text;
}

} // namespace dorvan
