#include "station/widgets/stationwindow.h"

#include "base/exceptionedge.h"
#include "station/station.h"
#include "station/widgets/alarmtable.h"
#include "station/widgets/boardview.h"
#include "station/widgets/historywindow.h"
#include "station/widgets/cardview.h"
#include "station/widgets/postwindow.h"
#include "station/widgets/shiftdialogs.h"
#include "station/widgets/stationdialogs.h"
#include "station/widgets/stationuilog.h"
#include "widgets/placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace dorvan::station {

namespace {

QPushButton *button(const QString &text, const QString &name, QWidget *parent)
{
    auto *result = new QPushButton(text, parent);
    result->setObjectName(name);
    result->setFocusPolicy(Qt::TabFocus);
    result->setMinimumHeight(result->sizeHint().height() + 6);
    return result;
}

QString since(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
}

// What an acknowledgement or a shelving names: the alarm as its row reads.
QString alarmDescription(const QModelIndex &row)
{
    QStringList parts;
    for (int column : {AlarmListModel::PostColumn, AlarmListModel::SensorColumn, AlarmListModel::AlarmColumn}) {
        const QString text = row.siblingAtColumn(column).data().toString();
        if (!text.isEmpty())
            parts << text;
    }
    return parts.join(QStringLiteral(", "));
}

void sizeAlarmColumns(ToneTree &table)
{
    // The chosen row is bold: the columns are as wide as its texts (the
    // time after the arrow of a flood and the indent of its alarms).
    QFont bold = table.font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const auto width = [&metrics](const char *sample) { return metrics.horizontalAdvance(QString::fromUtf8(sample)) + 16; };
    QHeaderView &header = *table.header();
    header.resizeSection(AlarmListModel::TimeColumn, width("00.00.0000 00:00:00") + 2 * table.indentation());
    header.resizeSection(AlarmListModel::PostColumn, width("Пост-Северный-12"));
    header.resizeSection(AlarmListModel::SensorColumn, width("Дорван-301ДК № 10001"));
    header.resizeSection(AlarmListModel::StateColumn, width("Вернулась, не квитирована"));
    header.resizeSection(AlarmListModel::RepeatsColumn, width("Повторы"));
    header.resizeSection(AlarmListModel::AcknowledgedColumn, width("Ивановский"));
    // The alarm's text takes what the window's width leaves: the list has
    // no horizontal scrolling at 1024 pixels.
    header.setStretchLastSection(false);
    header.setSectionResizeMode(AlarmListModel::AlarmColumn, QHeaderView::Stretch);
}

} // namespace

void useStationFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(9);
    QApplication::setFont(font);
}

StationWindow::StationWindow(Station &station, QWidget *parent) : QMainWindow(parent), station_(station)
{
    setObjectName(QStringLiteral("stationWindow"));

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(makeTopBar());
    layout->addWidget(makeLists(), 1);
    setCentralWidget(central);
    statusBar()->addWidget(new QLabel(QStringLiteral("Т — датчиков в тревоге, Н — неисправных, С — без связи; "
                                                     "двойной щелчок или Enter — датчики поста"),
                                      this),
                           1);
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("summary"));
    QFont summaryFont = summary_->font();
    summaryFont.setBold(true);
    summary_->setFont(summaryFont);
    statusBar()->addPermanentWidget(summary_);

    postWindow_ = new PostWindow(station_.sensors(), this);
    connect(postWindow_, &PostWindow::acknowledgePostClicked, this, &StationWindow::acknowledgePost);
    connect(postWindow_, &PostWindow::outOfServiceClicked, this, &StationWindow::takeOutOfService);

    connectStation();
    connectCards();
    blinkTimer_.setInterval(BlinkMs);
    connect(&blinkTimer_, &QTimer::timeout, this, guarded(lcStationUi, "blink", [this] { blink(); }));
    blinkTimer_.start();
    refresh();
    // Restored from maximized, it still fits the screen.
    resize(screenArea(*this).size() * 0.9);
}

QWidget *StationWindow::makeTopBar()
{
    auto *bar = new QWidget(this);
    auto *rows = new QVBoxLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addWidget(makeBanner(bar));
    rows->addLayout(makeButtons(bar));
    return bar;
}

QLabel *StationWindow::makeBanner(QWidget *parent)
{
    banner_ = new QLabel(parent);
    banner_->setObjectName(QStringLiteral("banner"));
    banner_->setWordWrap(true);
    banner_->setStyleSheet(QStringLiteral("background: #D00000; color: white; font-weight: bold; padding: 6px;"));
    QFont font = banner_->font();
    font.setPointSizeF(font.pointSizeF() * 1.25);
    banner_->setFont(font);
    return banner_;
}

QHBoxLayout *StationWindow::makeButtons(QWidget *parent)
{
    auto *line = new QHBoxLayout;
    operator_ = new QLabel(parent);
    operator_->setObjectName(QStringLiteral("operator"));
    QFont font = operator_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    operator_->setFont(font);
    operator_->setMinimumWidth(operator_->fontMetrics().horizontalAdvance(QStringLiteral("Оператор: Ивановский")));
    line->addWidget(operator_);

    QPushButton *signIn = button(QStringLiteral("&Вход"), QStringLiteral("signIn"), parent);
    connect(signIn, &QPushButton::clicked, this, &StationWindow::signIn);
    signOut_ = button(QStringLiteral("Вы&ход"), QStringLiteral("signOut"), parent);
    connect(signOut_, &QPushButton::clicked, this, [this] { station_.signOut(); });
    silence_ = button(QStringLiteral("Тишина"), QStringLiteral("silence"), parent);
    silence_->setMinimumWidth(silence_->fontMetrics().horizontalAdvance(QStringLiteral("Тишина (000 с)")) + 24);
    connect(silence_, &QPushButton::clicked, this, &StationWindow::silence);
    QPushButton *acknowledge = button(QStringLiteral("&Квитировать"), QStringLiteral("acknowledge"), parent);
    connect(acknowledge, &QPushButton::clicked, this, &StationWindow::acknowledgeChosen);
    QPushButton *acknowledgePost =
        button(QStringLiteral("Квитировать все тревоги &поста"), QStringLiteral("acknowledgePost"), parent);
    connect(acknowledgePost, &QPushButton::clicked, this, [this] { this->acknowledgePost(board_->currentSite()); });
    QPushButton *shelve = button(QStringLiteral("&Отложить…"), QStringLiteral("shelve"), parent);
    connect(shelve, &QPushButton::clicked, this, &StationWindow::shelveChosen);

    line->addWidget(signIn);
    line->addWidget(signOut_);
    line->addSpacing(12);
    line->addWidget(silence_);
    line->addSpacing(12);
    line->addWidget(acknowledge);
    line->addWidget(acknowledgePost);
    line->addSpacing(12);
    line->addWidget(shelve);
    line->addStretch(1);
    return line;
}

// The journal's and the shift's buttons, at the right of the lists' tabs:
// the line of the operator's buttons stays within 1024 pixels.
QWidget *StationWindow::makeJournalButtons(QWidget *parent)
{
    auto *corner = new QWidget(parent);
    auto *line = new QHBoxLayout(corner);
    line->setContentsMargins(0, 0, 0, 2);
    QPushButton *history = button(QStringLiteral("&История…"), QStringLiteral("history"), corner);
    connect(history, &QPushButton::clicked, this, &StationWindow::openHistory);
    line->addWidget(history);
    shiftButtons_ = new QWidget(corner);
    shiftButtons_->setLayout(makeShiftButtons(shiftButtons_));
    shiftButtons_->hide();
    line->addWidget(shiftButtons_);
    return corner;
}

QHBoxLayout *StationWindow::makeShiftButtons(QWidget *parent)
{
    auto *line = new QHBoxLayout;
    line->setContentsMargins(0, 0, 0, 0);
    QPushButton *handOver = button(QStringLiteral("Сдать смену"), QStringLiteral("handOverShift"), parent);
    connect(handOver, &QPushButton::clicked, this, &StationWindow::handOverShift);
    QPushButton *accept = button(QStringLiteral("Принять смену"), QStringLiteral("acceptShift"), parent);
    connect(accept, &QPushButton::clicked, this, &StationWindow::acceptShift);
    QPushButton *reports = button(QStringLiteral("Отчёты о сменах…"), QStringLiteral("shiftReports"), parent);
    connect(reports, &QPushButton::clicked, this, &StationWindow::showShiftReports);
    line->addWidget(handOver);
    line->addWidget(accept);
    line->addWidget(reports);
    return line;
}

QWidget *StationWindow::makeLists()
{
    auto *splitter = new QSplitter(Qt::Vertical, this);
    board_ = new BoardView(splitter);
    board_->setModel(&station_.board());
    connect(board_, &QAbstractItemView::activated, this, &StationWindow::openPost);

    lists_ = new QTabWidget(splitter);
    lists_->setObjectName(QStringLiteral("lists"));
    lists_->setCornerWidget(makeJournalButtons(lists_), Qt::TopRightCorner);
    lists_->addTab(makeAlarmPane(lists_), QStringLiteral("Тревоги"));
    lists_->addTab(makeShelvedPane(lists_), QString());
    lists_->addTab(makeOutOfServicePane(lists_), QString());
    refreshShelvedTitle();

    splitter->addWidget(board_);
    splitter->addWidget(lists_);
    // Two thirds for the board: at 1280x1024 its two hundred tiles, and a
    // dozen rows of alarms below.
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    return splitter;
}

QWidget *StationWindow::makeAlarmPane(QWidget *parent)
{
    auto *alarmPane = new QWidget(parent);
    auto *alarmLayout = new QVBoxLayout(alarmPane);
    alarmLayout->setContentsMargins(0, 0, 0, 0);
    alarmLayout->setSpacing(2);
    auto *title = new QLabel(QStringLiteral("Тревоги: не квитированные мигают; квитировать — выбрать строку и "
                                            "«Квитировать» или Enter"),
                             alarmPane);
    alarmLayout->addWidget(title);
    alarms_ = new ToneTree(alarmPane);
    alarms_->setObjectName(QStringLiteral("alarms"));
    alarms_->setModel(&station_.alarmGroups());
    sizeAlarmColumns(*alarms_);
    alarmCard_ = new CardView(alarmPane);
    alarmCard_->setMaximumWidth(360);
    auto *alarmsAndCard = new QHBoxLayout;
    alarmsAndCard->addWidget(alarms_, 1);
    alarmsAndCard->addWidget(alarmCard_);
    alarmLayout->addLayout(alarmsAndCard, 1);
    // The post of the chosen alarm becomes the chosen tile: "all alarms of
    // the post" is then that alarm's post.
    connect(alarms_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { choosePostOf(current); });
    // Enter or a double click on a row acknowledges it, after the comment
    // dialog; on a post's flood it opens or closes the flood.
    connect(alarms_, &QAbstractItemView::activated, this, [this](const QModelIndex &row) {
        const QModelIndex first = row.siblingAtColumn(0);
        if (station_.alarmGroups().isGroup(first))
            alarms_->setExpanded(first, !alarms_->isExpanded(first));
        else
            acknowledgeChosen();
    });
    return alarmPane;
}

QWidget *StationWindow::makeShelvedPane(QWidget *parent)
{
    auto *pane = new QWidget(parent);
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto *line = new QHBoxLayout;
    line->addWidget(new QLabel(QStringLiteral("Отложенные тревоги не звучат; по истечении срока они возвращаются в список"),
                               pane),
                    1);
    QPushButton *unshelve = button(QStringLiteral("В&ернуть"), QStringLiteral("unshelve"), pane);
    connect(unshelve, &QPushButton::clicked, this, &StationWindow::unshelveChosen);
    line->addWidget(unshelve);
    layout->addLayout(line);
    shelvedTable_ = makeHoldTable(station_.shelved(), QStringLiteral("shelved"), pane);
    layout->addWidget(shelvedTable_, 1);
    return pane;
}

QWidget *StationWindow::makeOutOfServicePane(QWidget *parent)
{
    auto *pane = new QWidget(parent);
    auto *layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    auto *line = new QHBoxLayout;
    line->addWidget(new QLabel(QStringLiteral("Выведенные из работы датчики и посты: события пишутся в журнал, тревоги "
                                              "не звучат до возврата. Вывести — в окне поста"),
                               pane),
                    1);
    QPushButton *back = button(QStringLiteral("Вернуть в &работу"), QStringLiteral("returnToService"), pane);
    connect(back, &QPushButton::clicked, this, &StationWindow::returnChosenToService);
    line->addWidget(back);
    layout->addLayout(line);
    outOfServiceTable_ = makeHoldTable(station_.outOfService(), QStringLiteral("outOfService"), pane);
    layout->addWidget(outOfServiceTable_, 1);
    return pane;
}

QTableView *StationWindow::makeHoldTable(QAbstractItemModel &model, const QString &name, QWidget *parent)
{
    auto *table = new QTableView(parent);
    table->setObjectName(name);
    table->setModel(&model);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    connect(&model, &QAbstractItemModel::modelReset, this, &StationWindow::refreshShelvedTitle);
    connect(&model, &QAbstractItemModel::modelReset, table, [table] { table->resizeColumnsToContents(); });
    return table;
}

void StationWindow::connectStation()
{
    connect(&station_, &Station::newAlarm, this, [this] { bringIntoSight(*this); });
    connect(&station_, &Station::brokerChanged, this, &StationWindow::refreshBanner);
    connect(&station_, &Station::operatorChanged, this, &StationWindow::refreshOperator);
    connect(&station_, &Station::silenceChanged, this, &StationWindow::refreshSilence);
    connect(&station_, &Station::notice, this, [this](const QString &text) { statusBar()->showMessage(text, 5 * 60 * 1000); });
    connect(&station_, &Station::journalFailed, this, [this](const QString &reason) {
        const QString text =
            QStringLiteral("Журнал станции не записывается: %1\nТревоги показываются, но не сохраняются.").arg(reason);
        // A journal that fails fails at every batch: one box, with the latest reason.
        if (journalBox_)
            journalBox_->setText(text);
        else
            journalBox_ = showBox(QMessageBox::Critical, text);
    });
}

// One window, kept with its last search while the station runs.
void StationWindow::openHistory()
{
    if (!history_)
        history_ = new HistoryWindow(journalPath(station_.settings()), &station_.board(), this);
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void StationWindow::blink()
{
    blinkOff_ = !blinkOff_;
    board_->setBlinkOff(blinkOff_);
    alarms_->setBlinkOff(blinkOff_);
    postWindow_->table().setBlinkOff(blinkOff_);
    if (!blinkOff_)
        refresh();
}

void StationWindow::refresh()
{
    refreshOperator();
    refreshBanner();
    refreshSilence();
    refreshSummary();
}

void StationWindow::refreshOperator()
{
    const QString name = station_.operatorName();
    operator_->setText(name.isEmpty() ? QStringLiteral("Нет оператора") : QStringLiteral("Оператор: %1").arg(name));
    operator_->setStyleSheet(name.isEmpty() ? QStringLiteral("color: #B00000") : QString());
    signOut_->setEnabled(!name.isEmpty());
}

void StationWindow::refreshBanner()
{
    const QString problem = station_.brokerProblem();
    banner_->setVisible(!problem.isEmpty());
    if (problem.isEmpty())
        return;
    const QString from = since(station_.brokerLostSince());
    banner_->setText(QStringLiteral("НЕТ СВЯЗИ С БРОКЕРОМ%1: %2. Состояние постов неизвестно.")
                         .arg(from.isEmpty() ? QString() : QStringLiteral(" с ") + from, problem));
}

void StationWindow::refreshSilence()
{
    const int left = station_.silenceLeftSeconds();
    silence_->setText(left > 0 ? QStringLiteral("&Тишина (%1 с)").arg(left) : QStringLiteral("&Тишина"));
}

void StationWindow::refreshSummary()
{
    const AlarmListModel &alarms = station_.alarmList();
    int unacknowledged = 0;
    for (int row = 0; row < alarms.rowCount(); ++row)
        unacknowledged += alarms.index(row, 0).data(BlinkRole).toBool() ? 1 : 0;
    summary_->setText(QStringLiteral("Постов: %1   Тревог: %2, не квитировано: %3")
                          .arg(station_.board().rowCount())
                          .arg(alarms.rowCount())
                          .arg(unacknowledged));
    // The task bar tells of waiting alarms while the window is minimized.
    const QString name = station_.settings().stationName;
    const QString title = name.isEmpty() ? QStringLiteral("Дорван: центральная станция")
                                         : QStringLiteral("Дорван: центральная станция %1").arg(name);
    setWindowTitle(unacknowledged > 0 ? QStringLiteral("(%1) %2").arg(unacknowledged).arg(title) : title);
}

void StationWindow::refreshShelvedTitle()
{
    const int count = station_.shelved().rowCount();
    lists_->setTabText(1, count > 0 ? QStringLiteral("Отложенные (%1)").arg(count) : QStringLiteral("Отложенные"));
    const int out = station_.outOfService().rowCount();
    lists_->setTabText(2, out > 0 ? QStringLiteral("Вне работы (%1)").arg(out) : QStringLiteral("Вне работы"));
}

void StationWindow::signIn()
{
    auto *dialog = new SignInDialog(
        [this](const QString &name, const QString &password, QString *error) {
            return station_.signIn(name, password, error);
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void StationWindow::silence()
{
    QString error;
    if (!station_.silence(&error))
        showBox(QMessageBox::Warning, error);
    refreshSilence();
}

bool StationWindow::refusedWithoutOperator(const QString &what)
{
    if (!station_.operatorName().isEmpty())
        return false;
    showBox(QMessageBox::Warning,
            QStringLiteral("%1 может только оператор, вошедший в станцию: нажмите «Вход».").arg(what));
    return true;
}

// The chosen row, or with none chosen the top one: the most urgent alarm
// waiting. The dialog names it before anything is acknowledged.
void StationWindow::acknowledgeChosen()
{
    if (refusedWithoutOperator(QStringLiteral("Квитировать тревоги")))
        return;
    const QModelIndex row = chosenAlarmRow();
    if (!row.isValid())
        return;
    // A post's flood: its alarms, named by the post.
    if (station_.alarmGroups().isGroup(row)) {
        acknowledgePost(row.data(KeyRole).toString());
        return;
    }
    // The row may move while the operator writes; the alarm is named by its id.
    const qint64 id = row.data(KeyRole).toLongLong();
    askComment(QStringLiteral("Квитировать тревогу: ") + alarmDescription(row),
               [this, id](const QString &comment, QString *error) { return station_.acknowledge(id, comment, error); });
}

QModelIndex StationWindow::chosenAlarmRow()
{
    const QModelIndex chosen = alarms_->chosen();
    const QModelIndex row = chosen.isValid() ? chosen : station_.alarmGroups().index(0, 0);
    if (row.isValid())
        return row;
    showBox(QMessageBox::Information, QStringLiteral("Открытых тревог нет."));
    return {};
}

void StationWindow::shelveChosen()
{
    if (refusedWithoutOperator(QStringLiteral("Откладывать тревоги")))
        return;
    const QModelIndex row = chosenAlarmRow();
    if (!row.isValid())
        return;
    const int listRow = station_.alarmGroups().sourceRow(row);
    if (listRow < 0) {
        showBox(QMessageBox::Information, QStringLiteral("Откладываются тревоги по одной: раскройте поток поста и выберите тревогу."));
        return;
    }
    const AlarmView alarm = station_.alarmList().at(listRow);
    const QString what = QStringLiteral("Отложить тревогу: ") + alarmDescription(row);
    auto *dialog = new ShelveDialog(
        what, station_.settings().maxShelveMinutes, alarm.address >= 0 && !alarm.site.isEmpty(),
        [this, alarm](int minutes, bool wholeSensor, const QString &reason, QString *error) {
            return wholeSensor ? station_.shelveSensor(alarm.site, alarm.address, minutes, reason, error)
                               : station_.shelve(alarm.id, minutes, reason, error);
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, &StationWindow::refreshSummary);
    dialog->open();
}

void StationWindow::unshelveChosen()
{
    const QModelIndexList chosen = shelvedTable_->selectionModel()->selectedRows();
    if (chosen.isEmpty()) {
        showBox(QMessageBox::Information, QStringLiteral("Выберите строку в списке отложенных."));
        return;
    }
    QString error;
    if (!station_.unshelve(chosen.first().data(KeyRole).toLongLong(), &error))
        showBox(QMessageBox::Warning, error);
    refreshSummary();
}

void StationWindow::takeOutOfService(const QString &site, int address)
{
    if (refusedWithoutOperator(QStringLiteral("Выводить из работы")))
        return;
    if (address == -2) {
        showBox(QMessageBox::Information, QStringLiteral("Выберите датчик в списке поста."));
        return;
    }
    const QString what = address < 0 ? QStringLiteral("Вывести из работы пост %1 целиком: его тревоги, и тревоги связи "
                                                      "с ним, не будут звучать до возврата.")
                                           .arg(site)
                                     : QStringLiteral("Вывести из работы датчик № %1 поста %2: его тревоги не будут "
                                                      "звучать до возврата.")
                                           .arg(address)
                                           .arg(site);
    auto *dialog = new ReasonDialog(
        QStringLiteral("Вывести из работы"), what, QStringLiteral("Вывести"),
        [this, site, address](const QString &reason, QString *error) {
            return station_.takeOutOfService(site, address, reason, error);
        },
        // Over the post's window it was asked from, not behind it.
        postWindow_->isVisible() ? static_cast<QWidget *>(postWindow_) : this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, &StationWindow::refreshSummary);
    dialog->open();
}

void StationWindow::returnChosenToService()
{
    const QModelIndexList chosen = outOfServiceTable_->selectionModel()->selectedRows();
    if (chosen.isEmpty()) {
        showBox(QMessageBox::Information, QStringLiteral("Выберите строку в списке выведенных из работы."));
        return;
    }
    QString error;
    if (!station_.returnToService(chosen.first().data(KeyRole).toLongLong(), &error))
        showBox(QMessageBox::Warning, error);
    refreshSummary();
}

void StationWindow::acknowledgePost(const QString &site)
{
    if (refusedWithoutOperator(QStringLiteral("Квитировать тревоги")))
        return;
    if (site.isEmpty()) {
        showBox(QMessageBox::Information, QStringLiteral("Выберите пост на табло."));
        return;
    }
    const bool floods = station_.alarmGroups().isGroup(alarms_->chosen())
                        && alarms_->chosen().data(KeyRole).toString() == site;
    askComment(floods ? QStringLiteral("Квитировать поток тревог поста %1: все его тревоги").arg(site)
                      : QStringLiteral("Квитировать все тревоги поста %1").arg(site),
               [this, site](const QString &comment, QString *error) {
                   return station_.acknowledgePost(site, comment, error);
               });
}

void StationWindow::askComment(const QString &what,
                               std::function<bool(const QString &comment, QString *error)> acknowledge)
{
    auto *dialog = new CommentDialog(what, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, acknowledge] {
        QString error;
        if (!acknowledge(dialog->comment(), &error))
            showBox(QMessageBox::Warning, error);
        refreshSummary();
    });
    dialog->open();
}

void StationWindow::choosePostOf(const QModelIndex &alarm)
{
    if (!alarm.isValid())
        return;
    // The station's own alarms have no tile: no post is chosen then, rather
    // than one chosen before.
    const QString site = alarm.siblingAtColumn(AlarmListModel::PostColumn).data().toString();
    alarmCard_->showCard(site, station_.card(site));
    const int row = station_.board().rowOf(site);
    board_->setCurrentIndex(row >= 0 ? station_.board().index(row, 0) : QModelIndex());
}

// The posts' cards: in the post's window, beside the chosen alarm, in the tiles' tooltips.
void StationWindow::connectCards()
{
    postWindow_->setCardSource([this](const QString &site) { return station_.card(site); });
    board_->setTileNote([this](const QString &site) { return cardNote(station_.card(site)); });
    connect(postWindow_, &PostWindow::editCardClicked, this, &StationWindow::editCard);
    connect(&station_, &Station::cardChanged, this, [this](const QString &site) {
        if (postWindow_->site() == site)
            postWindow_->refreshCard();
        if (alarmCard_->site() == site)
            alarmCard_->showCard(site, station_.card(site));
    });
    const auto rightsChanged = [this] { postWindow_->setCardEditable(station_.mayEditCards()); };
    connect(&station_, &Station::operatorChanged, this, rightsChanged);
    rightsChanged();
}

void StationWindow::editCard(const QString &site)
{
    if (refusedWithoutOperator(QStringLiteral("Изменять карточки постов")))
        return;
    auto *dialog = new CardDialog(
        site, station_.card(site),
        [this](const PostCard &card, QString *error) { return station_.editCard(card, error); }, postWindow_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void StationWindow::openPost(const QModelIndex &tile)
{
    if (tile.isValid())
        postWindow_->showPost(tile.data(KeyRole).toString());
}

void StationWindow::setShiftHandover(ShiftHandover *shifts)
{
    shifts_ = shifts;
    shiftButtons_->setVisible(shifts_ != nullptr);
}

void StationWindow::handOverShift()
{
    if (refusedWithoutOperator(QStringLiteral("Сдать смену")))
        return;
    openShiftDialog();
}

void StationWindow::acceptShift()
{
    if (!shifts_->pending()) {
        showBox(QMessageBox::Information, QStringLiteral("Смена не сдана: принимать нечего. Сдающий оператор "
                                                         "нажимает «Сдать смену»."));
        return;
    }
    openShiftDialog();
}

// The incoming operator becomes the station's once the shift is theirs.
void StationWindow::openShiftDialog()
{
    auto *dialog = new ShiftHandoverDialog(
        *shifts_, station_.operatorName(),
        [this](const QString &name, const QString &password) {
            QString error;
            if (!station_.signIn(name, password, &error))
                showBox(QMessageBox::Warning, error);
        },
        this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

void StationWindow::showShiftReports()
{
    auto *dialog = new ShiftArchiveDialog(*shifts_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}

QMessageBox *StationWindow::showBox(QMessageBox::Icon icon, const QString &text)
{
    if (icon == QMessageBox::Critical)
        qCCritical(lcStationUi).noquote() << "box:" << text;
    else
        qCWarning(lcStationUi).noquote() << "box:" << text;
    auto *box = new QMessageBox(icon, QStringLiteral("Дорван: центральная станция"), text, QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("box"));
    box->addButton(QStringLiteral("ОК"), QMessageBox::AcceptRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

void StationWindow::closeWithoutAsking()
{
    closing_ = true;
    close();
}

// Closing the window ends the watch over every post: asked, not done at a slip.
void StationWindow::closeEvent(QCloseEvent *event)
{
    if (closing_) {
        postWindow_->close();
        event->accept();
        return;
    }
    event->ignore();
    auto *box = new QMessageBox(QMessageBox::Question, QStringLiteral("Дорван: центральная станция"),
                                QStringLiteral("Закрыть станцию? Тревоги постов перестанут быть видны и слышны здесь."),
                                QMessageBox::NoButton, this);
    QPushButton *yes = box->addButton(QStringLiteral("Закрыть"), QMessageBox::DestructiveRole);
    // Enter at a slip keeps the station open.
    QPushButton *cancel = box->addButton(QStringLiteral("Отмена"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::buttonClicked, this, [this, yes](QAbstractButton *clicked) {
        if (clicked == yes) {
            qCInfo(lcStationUi) << "the operator closed the station's window";
            closeWithoutAsking();
        }
    });
    box->open();
}

} // namespace dorvan::station
