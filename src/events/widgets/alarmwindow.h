#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace dorvan {

class AlarmList;
class StringGridView;

// "Окно тревожных сообщений": the always-on-top alarm annunciator. Hidden
// until the first alarm, dismissed only by the all-clear. The list, the
// counter and the sound live in AlarmList; this window shows them.
class TFormAlarmWindow : public QWidget
{
    Q_OBJECT

public:
    // The disarm buttons pass the typed address and the loop (1 or 2).
    using DisarmByAddress = std::function<void(const QString &typedAddress, int loop)>;

    TFormAlarmWindow(AlarmList &alarms, DisarmByAddress disarm, QWidget *parent = nullptr);

    void BitBtnAllOtboyClick();
    void BitBtn1Click();
    void BitBtn2Click();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *LabelNumAlarm = nullptr;
    StringGridView *StringGrid1 = nullptr;
    QPushButton *BitBtnAllOtboy = nullptr;
    QLineEdit *LabeledEdit1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;

    // Shown, not minimized, mapped on the screen (another X client may
    // unmap a window behind Qt's back) and wholly inside it.
    bool inSight() const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildLayout();
    void connectList();
    void comeForward();
    void keepInSight();
    void keepNewestInSight();

    void watchMapping();

    // Brings back, every second while alarms wait for the all-clear, a window
    // that was minimized, hidden, unmapped or moved off the screen.
    QTimer sightCheck_;
    bool watchingMapping_ = false;

    AlarmList &alarms_;
    DisarmByAddress disarm_;
};

} // namespace dorvan
