#pragma once

#include "trends/trendreader.h"

#include <QTimer>
#include <QWidget>

namespace dorvan {

class SensorTable;
class TrendChart;
struct WorkContext;

// A small chart of one sensor's last 10 minutes of signal against threshold,
// named after the sensor, read again every two seconds while it is on
// screen, in the reader's thread.
class RecentSignalChart : public QWidget
{
    Q_OBJECT

public:
    static constexpr qint64 SpanMs = 10 * 60 * 1000;

    // The sensors of the table, their trends in the working directory.
    RecentSignalChart(const SensorTable &table, const WorkContext &work, QWidget *parent = nullptr);
    ~RecentSignalChart() override;

    // Shows the sensor of the slot (nothing for an empty slot) and follows it.
    void follow(int slot);
    void refresh();
    TrendReader &reader() { return reader_; }

    TrendChart *chart = nullptr;

protected:
    void hideEvent(QHideEvent *event) override;

private:
    const SensorTable &table_;
    const WorkContext &work_;
    TrendReader reader_;
    qint64 sensor_ = -1;
    QTimer timer_;
};

} // namespace dorvan
