#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

class QAbstractItemModel;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;

namespace dorvan::station {

class BoardView;
class HistoryWindow;
class CardView;
class PostWindow;
class ShiftHandover;
class Station;
class ToneTree;

// The station's face for every window, before the first: Liberation Sans
// (Arial's metrics, as the console's) at 9 points, for which the board's
// tiles are sized.
void useStationFont();

// The duty operator's window: a banner while the broker is lost, who is
// signed in and the buttons, the board of posts above the alarm list. Every
// decision is the station's; the window shows its models and forwards the
// operator's clicks, and comes into sight at every new alarm.
class StationWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int BlinkMs = 500;

    explicit StationWindow(Station &station, QWidget *parent = nullptr);

    // For a signal that ends the program: no question asked.
    void closeWithoutAsking();

    BoardView &board() { return *board_; }
    ToneTree &alarmTable() { return *alarms_; }
    PostWindow &postWindow() { return *postWindow_; }
    QTableView &shelvedTable() { return *shelvedTable_; }
    QTableView &outOfServiceTable() { return *outOfServiceTable_; }

    // The shift's handover and its reports: the buttons show once it is given.
    void setShiftHandover(ShiftHandover *shifts);

    // A box that does not hold anything up; its text goes to the log too.
    QMessageBox *showBox(QMessageBox::Icon icon, const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *makeTopBar();
    QLabel *makeBanner(QWidget *parent);
    QHBoxLayout *makeButtons(QWidget *parent);
    QWidget *makeLists();
    QWidget *makeAlarmPane(QWidget *parent);
    QWidget *makeShelvedPane(QWidget *parent);
    QWidget *makeOutOfServicePane(QWidget *parent);
    QTableView *makeHoldTable(QAbstractItemModel &model, const QString &name, QWidget *parent);
    void connectStation();
    void connectCards();
    void editCard(const QString &site);
    void blink();
    void refresh();
    void refreshOperator();
    void refreshBanner();
    void refreshSilence();
    void refreshSummary();
    void refreshShelvedTitle();

    void signIn();
    void silence();
    void acknowledgeChosen();
    void acknowledgePost(const QString &site);
    void shelveChosen();
    void unshelveChosen();
    void takeOutOfService(const QString &site, int address);
    void returnChosenToService();
    QModelIndex chosenAlarmRow(); // in alarmGroups(); invalid: no open alarm (and the operator is told)
    bool refusedWithoutOperator(const QString &what);
    void askComment(const QString &what, std::function<bool(const QString &comment, QString *error)> acknowledge);
    void choosePostOf(const QModelIndex &alarm);
    void openPost(const QModelIndex &tile);
    QWidget *makeJournalButtons(QWidget *parent);
    QHBoxLayout *makeShiftButtons(QWidget *parent);
    void handOverShift();
    void acceptShift();
    void showShiftReports();
    void openShiftDialog();
    void openHistory();

    Station &station_;
    QLabel *banner_ = nullptr;
    QLabel *operator_ = nullptr;
    QPushButton *signOut_ = nullptr;
    QPushButton *silence_ = nullptr;
    QLabel *summary_ = nullptr;
    BoardView *board_ = nullptr;
    ToneTree *alarms_ = nullptr;
    CardView *alarmCard_ = nullptr; // the card of the chosen alarm's post
    QTabWidget *lists_ = nullptr;
    QTableView *shelvedTable_ = nullptr;
    QTableView *outOfServiceTable_ = nullptr;
    PostWindow *postWindow_ = nullptr;
    ShiftHandover *shifts_ = nullptr;
    QWidget *shiftButtons_ = nullptr;
    QPointer<HistoryWindow> history_;
    QPointer<QMessageBox> journalBox_;
    QTimer blinkTimer_;
    bool blinkOff_ = false;
    bool closing_ = false;
};

} // namespace dorvan::station
