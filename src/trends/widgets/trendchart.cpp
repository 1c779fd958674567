#include "trends/widgets/trendchart.h"

#include "trends/trendaxis.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace dorvan {

namespace {

struct SeriesStyle
{
    const char16_t *name;
    QColor colour;
    Qt::PenStyle pen;
    int width;
};

const SeriesStyle seriesStyles[TrendView::SeriesCount] = {
    {u"Сигнал 1", QColor(0x1f, 0x5f, 0xbf), Qt::SolidLine, 1},
    {u"Порог 1", QColor(0x1f, 0x5f, 0xbf), Qt::DashLine, 2},
    {u"Сигнал 2", QColor(0xc0, 0x50, 0x10), Qt::SolidLine, 1},
    {u"Порог 2", QColor(0xc0, 0x50, 0x10), Qt::DashLine, 2},
};

const QColor markColour(0xd0, 0x10, 0x10);
const QColor noDataColour(0xe8, 0xe8, 0xe8);
const QColor gridColour(0xdd, 0xdd, 0xdd);

constexpr qint64 SmallestRangeMs = 20 * 1000;
constexpr int MarkSize = 8;
constexpr int LegendSample = 26; // length of a line in the legend

// The value of a reduced series at t: its point nearest on the left; NaN
// when that is a break or there is none.
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
    return std::isnan(value) ? QStringLiteral("—") : decimalText(value, 3);
}

QString percentText(double value)
{
    return std::isnan(value) ? QStringLiteral("—") : decimalText(value, 1) + QStringLiteral(" %");
}

} // namespace

TrendChart::TrendChart(bool interactive, QWidget *parent) : QWidget(parent), interactive_(interactive)
{
    setObjectName(QStringLiteral("TrendChart"));
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, Qt::white);
    setPalette(colours);
    setMouseTracking(interactive_);
    settle_.setSingleShot(true);
    settle_.setInterval(150);
    connect(&settle_, &QTimer::timeout, this, [this] { emit rangeChosen(from_, to_); });
}

void TrendChart::setTitle(const QString &title)
{
    title_ = title;
    layOut();
    update();
}

void TrendChart::layOut()
{
    const QFontMetrics fm(font());
    const int top = 4 + (title_.isEmpty() ? 0 : fm.height() + 2) + fm.height() + 6 + MarkSize + 4;
    const int bottom = fm.height() + 8;
    const int plotHeight = std::max(10, height() - top - bottom);
    valueTicks_ = valueTicks(low_, high_, std::max(2, plotHeight / (fm.height() * 2)));
    // Room for the widest value label on the left, half a time label on the right.
    int labelWidth = fm.horizontalAdvance(QStringLiteral("0,00"));
    for (const AxisTick &tick : valueTicks_)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(tick.label));
    const int left = labelWidth + 10;
    const int right = fm.horizontalAdvance(QStringLiteral("00.00 00:00")) / 2 + 4;
    plot_ = QRect(left, top, std::max(10, width() - left - right), plotHeight);
    timeTicks_ = timeTicks(from_, to_, plot_.width(), fm.averageCharWidth());
}

void TrendChart::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layOut();
}

int TrendChart::plotColumns() const
{
    return std::max(100, plotArea().width());
}

double TrendChart::xOf(double t) const
{
    return plot_.left() + (t - double(from_)) * plot_.width() / std::max(1.0, double(to_ - from_));
}

double TrendChart::yOf(double v) const
{
    return plot_.bottom() - (v - low_) * plot_.height() / std::max(1e-9, high_ - low_);
}

qint64 TrendChart::timeAt(double x) const
{
    return from_ + qint64((x - plot_.left()) * double(to_ - from_) / std::max(1, plot_.width()));
}

void TrendChart::showView(const TrendView &view, const std::vector<TrendMark> &marks)
{
    view_ = view;
    markList_ = marks;
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (const auto &series : view.series) {
        for (const QPointF &p : series) {
            if (std::isnan(p.y()))
                continue;
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    }
    if (low > high) {
        low = 0;
        high = 1;
    }
    const double pad = std::max(1e-3, (high - low) * 0.08);
    low_ = std::min(0.0, low - pad);
    high_ = high + pad;
    setRange(view.fromMs, view.toMs, false);
}

void TrendChart::setRange(qint64 fromMs, qint64 toMs, bool chosen)
{
    from_ = fromMs;
    to_ = toMs;
    layOut();
    update();
    if (chosen)
        settle_.start();
}

void TrendChart::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintAxes(painter);
    paintSeries(painter);
    paintMarks(painter);
    paintLegend(painter);
    if (bandFrom_ >= 0 && bandTo_ >= 0) {
        const QRect plot = plotArea();
        painter.fillRect(QRect(QPoint(std::min(bandFrom_, bandTo_), plot.top()),
                               QPoint(std::max(bandFrom_, bandTo_), plot.bottom())),
                         QColor(0x30, 0x60, 0xc0, 0x40));
    }
}

void TrendChart::paintAxes(QPainter &painter) const
{
    const QRect plot = plotArea();
    const QFontMetrics fm(font());
    // The times without a reply, shaded.
    const auto shade = [&](qint64 from, qint64 to) {
        const double x0 = std::max<double>(plot.left(), xOf(double(from)));
        const double x1 = std::min<double>(plot.right(), xOf(double(to)));
        if (x1 > x0)
            painter.fillRect(QRectF(x0, plot.top(), x1 - x0, plot.height()), noDataColour);
    };
    if (!view_.hasLatest) {
        shade(from_, to_);
    } else {
        shade(from_, view_.firstMs);
        for (const TrendGap &gap : view_.gaps)
            shade(gap.fromMs, gap.toMs);
        if (view_.toMs - view_.latest.utcMs > view_.gapMs)
            shade(view_.latest.utcMs, to_);
    }
    for (const AxisTick &tick : valueTicks_) {
        const int y = int(std::lround(yOf(tick.value)));
        painter.setPen(gridColour);
        painter.drawLine(plot.left(), y, plot.right(), y);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(QRect(0, y - fm.height() / 2, plot.left() - 6, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                         tick.label);
    }
    for (const AxisTick &tick : timeTicks_) {
        const int x = int(std::lround(xOf(tick.value)));
        painter.setPen(gridColour);
        painter.drawLine(x, plot.top(), x, plot.bottom() + 3);
        painter.setPen(palette().color(QPalette::WindowText));
        const int w = fm.horizontalAdvance(tick.label);
        painter.drawText(QRect(x - w / 2 - 2, plot.bottom() + 4, w + 4, fm.height()), Qt::AlignCenter, tick.label);
    }
    painter.setPen(QColor(0x80, 0x80, 0x80));
    painter.drawRect(plot.adjusted(0, 0, -1, -1));
}

void TrendChart::paintSeries(QPainter &painter) const
{
    const QRect plot = plotArea();
    painter.save();
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int i = 0; i < TrendView::SeriesCount; ++i) {
        QPainterPath path;
        bool broken = true;
        for (const QPointF &p : view_.series[i]) {
            if (std::isnan(p.y())) {
                broken = true;
                continue;
            }
            const QPointF at(xOf(p.x()), yOf(p.y()));
            if (broken)
                path.moveTo(at);
            else
                path.lineTo(at);
            broken = false;
        }
        QPen pen(seriesStyles[i].colour, seriesStyles[i].width, seriesStyles[i].pen);
        painter.setPen(pen);
        painter.drawPath(path);
    }
    painter.restore();
}

void TrendChart::paintMarks(QPainter &painter) const
{
    const QRect plot = plotArea();
    for (const TrendMark &mark : markList_) {
        const double x = xOf(double(mark.utcMs));
        if (x < plot.left() - 1 || x > plot.right() + 1)
            continue;
        painter.fillRect(QRectF(x - MarkSize / 2.0, plot.top() - MarkSize - 2, MarkSize, MarkSize), markColour);
    }
}

void TrendChart::paintLegend(QPainter &painter) const
{
    const QFontMetrics fm(font());
    int y = 4;
    painter.setPen(palette().color(QPalette::WindowText));
    if (!title_.isEmpty()) {
        painter.drawText(QRect(0, y, width(), fm.height()), Qt::AlignHCenter, title_);
        y += fm.height() + 2;
    }
    int total = 0;
    for (const SeriesStyle &style : seriesStyles)
        total += LegendSample + 6 + fm.horizontalAdvance(QString::fromUtf16(style.name)) + 16;
    // Only the page shows events.
    if (interactive_)
        total += MarkSize + 6 + fm.horizontalAdvance(QStringLiteral("События"));
    int x = std::max(4, (width() - total) / 2);
    const int middle = y + fm.height() / 2;
    for (const SeriesStyle &style : seriesStyles) {
        painter.setPen(QPen(style.colour, style.width, style.pen));
        painter.drawLine(x, middle, x + LegendSample, middle);
        x += LegendSample + 6;
        painter.setPen(palette().color(QPalette::WindowText));
        const QString name = QString::fromUtf16(style.name);
        painter.drawText(QPoint(x, y + fm.ascent()), name);
        x += fm.horizontalAdvance(name) + 16;
    }
    if (!interactive_)
        return;
    painter.fillRect(QRect(x, middle - MarkSize / 2, MarkSize, MarkSize), markColour);
    x += MarkSize + 6;
    painter.drawText(QPoint(x, y + fm.ascent()), QStringLiteral("События"));
}

void TrendChart::wheelEvent(QWheelEvent *event)
{
    if (!interactive_)
        return QWidget::wheelEvent(event);
    const double factor = event->angleDelta().y() > 0 ? 0.8 : 1.25;
    const double centre = std::clamp(double(timeAt(event->position().x())), double(from_), double(to_));
    const qint64 from = qint64(centre - (centre - double(from_)) * factor);
    const qint64 to = qint64(centre + (double(to_) - centre) * factor);
    event->accept();
    if (to - from < SmallestRangeMs)
        return;
    setRange(from, to, true);
}

void TrendChart::mousePressEvent(QMouseEvent *event)
{
    if (!interactive_)
        return QWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        panning_ = true;
        panFrom_ = event->position().toPoint();
    } else if (event->button() == Qt::LeftButton && plotArea().contains(event->position().toPoint())) {
        bandFrom_ = bandTo_ = event->position().toPoint().x();
    }
    event->accept();
}

void TrendChart::mouseMoveEvent(QMouseEvent *event)
{
    if (!interactive_)
        return QWidget::mouseMoveEvent(event);
    const QPoint now = event->position().toPoint();
    if (panning_) {
        const double msPerPixel = double(to_ - from_) / std::max(1, plotArea().width());
        const qint64 shift = qint64(double(panFrom_.x() - now.x()) * msPerPixel);
        panFrom_ = now;
        setRange(from_ + shift, to_ + shift, true);
        return;
    }
    if (bandFrom_ >= 0) {
        bandTo_ = std::clamp(now.x(), plotArea().left(), plotArea().right());
        update();
    }
    emit hovered(plotArea().contains(now) ? describeAt(timeAt(now.x())) : QString());
}

void TrendChart::mouseReleaseEvent(QMouseEvent *event)
{
    if (panning_) {
        panning_ = false;
        return;
    }
    if (bandFrom_ >= 0) {
        const qint64 from = timeAt(std::min(bandFrom_, bandTo_));
        const qint64 to = timeAt(std::max(bandFrom_, bandTo_));
        bandFrom_ = bandTo_ = -1;
        update();
        if (to - from >= SmallestRangeMs)
            setRange(from, to, true);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void TrendChart::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    if (interactive_)
        emit hovered(QString());
}

QString TrendChart::describeAt(qint64 t) const
{
    QString text = QDateTime::fromMSecsSinceEpoch(t).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    const bool data = view_.hasDataAt(t);
    if (!data)
        text += QStringLiteral("   нет данных");
    for (int loop = 0; data && loop < 2; ++loop) {
        const double signal = valueAt(view_.series[loop * 2], t);
        const double threshold = valueAt(view_.series[loop * 2 + 1], t);
        text += QStringLiteral("   Ш%1: сигнал %2, порог %3, запас %4")
                    .arg(loop + 1)
                    .arg(number(signal), number(threshold), percentText(marginPercent(threshold, signal)));
    }
    // The nearest event within a few pixels.
    const double msPerPixel = double(to_ - from_) / std::max(1, plotArea().width());
    for (const TrendMark &mark : markList_) {
        if (std::abs(double(mark.utcMs - t)) <= 4 * msPerPixel) {
            text += QStringLiteral("   ") + mark.text;
            if (mark.count > 1)
                text += QStringLiteral(" (и ещё событий: %1)").arg(mark.count - 1);
            break;
        }
    }
    return text;
}

} // namespace dorvan
