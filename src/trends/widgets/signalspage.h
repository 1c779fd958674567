#pragma once

#include "trends/trendreader.h"
#include "trends/trendview.h"

#include <QTimer>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace dorvan {

class Prompter;
class SensorSelection;
class SensorTable;
struct WorkContext;
class TrendChart;

// "Сигналы": one sensor's loop signals against their thresholds over the
// last 10 minutes, hour, 24 hours or 7 days, with its events, live while the
// page is on screen; the margins and the reply times of the shown range.
// The store and the event file are read and reduced in the reader's thread:
// the page only asks and draws what comes back.
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

    // Asks for the chosen sensor and range again.
    void refresh();
    // The reader, whose answered() says when what was asked is drawn.
    TrendReader &reader() { return reader_; }

    QComboBox *sensorChoice = nullptr;
    QComboBox *rangeChoice = nullptr;
    QPushButton *exportButton = nullptr;
    TrendChart *chart = nullptr;
    QLabel *summary = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    // What the page takes from its parts: the sensors on the line, the
    // grid's selected one, the clock, the working directory and the boxes.
    struct Choice
    {
        QString text;
        qint64 sensor;
    };
    std::vector<Choice> sensorsOnLine() const;
    qint64 sensorSelectedInGrid() const;
    qint64 nowMs() const;
    QString workDir() const;
    QString eventFileOf(qint64 sensor) const;
    class Prompter &prompter() const;

    void fillSensors(bool followGrid);
    void rangeChanged();
    void showRange(qint64 fromMs, qint64 toMs);
    void showAnswer(const TrendAnswer &answer);
    void showSummary(const TrendView &view);
    void exportShown();
    void exportDone(const QString &path, const QString &failure);
    qint64 chosenSensor() const;

    Parts p_;
    TrendReader reader_;
    QLabel *cursor_ = nullptr;
    QTimer live_;
    bool following_ = true; // the range ends now; false after a zoom or pan
    qint64 from_ = 0;
    qint64 to_ = 0;
};

} // namespace dorvan
