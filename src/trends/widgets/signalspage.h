#pragma once

#include "trends/trendstore.h"
#include "trends/trendview.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;

namespace dorvan {

class Prompter;
class SensorSelection;
class SensorTable;
class TrendChart;
struct WorkContext;

// "Сигналы": one sensor's loop signals against their thresholds over the
// last 10 minutes, hour, 24 hours or 7 days, with its events, live while the
// page is on screen; the margins and the reply times of the shown range.
class SignalsPage : public QWidget
{
    Q_OBJECT

public:
    struct Parts
    {
        const SensorTable &table;
        const SensorSelection &selection; // the grid's row, followed when the page is shown
        const WorkContext &work;          // the trends and event files, the clock
        Prompter &prompter;               // the export's file dialog and its failure
    };

    explicit SignalsPage(const Parts &parts, QWidget *parent = nullptr);
    ~SignalsPage() override;

    // Reads the chosen sensor and range again.
    void refresh();
    // The time the last refresh took, from the read to the drawn series.
    qint64 lastRefreshMs() const { return lastRefreshMs_; }

    QComboBox *sensorChoice = nullptr;
    QComboBox *rangeChoice = nullptr;
    QPushButton *exportButton = nullptr;
    TrendChart *chart = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void fillSensors();
    void rangeChanged();
    void showRange(qint64 fromMs, qint64 toMs);
    void showSummary(const TrendView &view);
    void exportShown();
    qint64 chosenSensor() const;
    TrendStore *store();

    Parts p_;
    std::unique_ptr<TrendStore> store_;
    TrendMarkCache marks_;
    QLabel *summary_ = nullptr;
    QLabel *cursor_ = nullptr;
    QTimer live_;
    bool following_ = true; // the range ends now; false after a zoom or pan
    qint64 from_ = 0;
    qint64 to_ = 0;
    qint64 lastRefreshMs_ = 0;
};

} // namespace dorvan
