#pragma once

#include "console/thresholdoffset.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvan {

class RecentSignalChart;
struct WorkContext;
class TypedLengthValidator;

// "Пост. составл. порога": the threshold DC component of the selected sensor,
// one whole value for a Дорван-301ДК, one real value per flank for a
// Дорван-302ДК. Each edit converts its text when the focus leaves it.
class TFDirect_component_porog : public QDialog
{
    Q_OBJECT

public:
    // The chart beside the controls reads the trends of the working directory.
    TFDirect_component_porog(const ThresholdOffset::Parts &parts, const WorkContext &work,
                             QWidget *parent = nullptr);

    void FormActivate();
    void ButtonAcceptClick();
    ThresholdOffset &values() { return values_; }

    QLabel *LabelDirect_component_porog = nullptr;
    QLineEdit *EditDirect_component_porog = nullptr;
    QLabel *LabelDirect_component_porog1 = nullptr;
    QLineEdit *EditDirect_component_porog1 = nullptr;
    QLabel *LabelDirect_component_porog2 = nullptr;
    QLineEdit *EditDirect_component_porog2 = nullptr;
    QPushButton *ButtonAccept = nullptr;
    QPushButton *ButtonCansel = nullptr;
    // The sensor's last 10 minutes of signal against threshold, beside the controls.
    RecentSignalChart *recentSignals = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setSingleEnabled(bool enabled);
    void setFlanksEnabled(bool enabled);
    void leaveEdit(QObject *edit);
    QWidget *buildSingleGroup();
    QWidget *buildFlankGroup();

    ThresholdOffset values_;
    const SensorSelection &selection_;
    TypedLengthValidator *singleLimit_ = nullptr;
};

} // namespace dorvan
