#pragma once

#include "station/handover.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTextBrowser;

namespace dorvan::station {

// A shift's report as it will print, with "Печать…" and "Сохранить PDF…".
class ShiftReportPane : public QWidget
{
    Q_OBJECT

public:
    explicit ShiftReportPane(QWidget *parent = nullptr);

    void setReport(ShiftReport report);
    const ShiftReport &report() const { return report_; }
    // A PDF of the report at path, written on a thread of its own; a
    // refusal is shown in a box and logged.
    void saveTo(const QString &path);

signals:
    void saved(const QString &path, bool ok);

private:
    void print();
    void askAndSave();

    ShiftReport report_;
    QTextBrowser *browser_;
    QPushButton *print_;
    QPushButton *save_;
};

// The handover in two steps at one desk: the outgoing operator reads the
// report, writes remarks and hands over; the incoming one gives name,
// password and remarks and accepts. Opened with a handover pending, it
// starts at the second step. The report follows each step.
class ShiftHandoverDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Step { HandOver, Accept, Done };
    // Told the incoming operator's name and password once the shift is theirs.
    using Accepted = std::function<void(const QString &name, const QString &password)>;

    ShiftHandoverDialog(ShiftHandover &shifts, const QString &outgoing, Accepted accepted, QWidget *parent = nullptr);

    Step step() const { return step_; }
    ShiftReportPane &reportPane() { return *report_; }

private:
    QWidget *makeHandOverForm();
    QWidget *makeAcceptForm();
    void showStep(Step step);
    void handOver();
    void accept();
    void refuse(const QString &error);

    ShiftHandover &shifts_;
    QString outgoing_;
    Accepted accepted_;
    Step step_ = Step::HandOver;
    qint64 handoverSeq_ = 0; // the one being accepted
    QLabel *title_;
    ShiftReportPane *report_;
    QStackedWidget *forms_;
    QPlainTextEdit *outgoingRemarks_ = nullptr;
    QLineEdit *incomingName_ = nullptr;
    QLineEdit *password_ = nullptr;
    QPlainTextEdit *incomingRemarks_ = nullptr;
    QLabel *done_ = nullptr;
    QLabel *error_;
};

// The past handovers, the latest first; the chosen one's report gathered
// again from the journal, to print or save.
class ShiftArchiveDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ShiftArchiveDialog(ShiftHandover &shifts, QWidget *parent = nullptr);

    QListWidget &list() { return *list_; }
    ShiftReportPane &reportPane() { return *report_; }

private:
    void showChosen();

    ShiftHandover &shifts_;
    QListWidget *list_;
    ShiftReportPane *report_;
};

} // namespace dorvan::station
