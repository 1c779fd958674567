#include "events/widgets/alarmwindow.h"

#include "base/windowplacement.h"
#include "events/alarmlist.h"
#include "grid/widgets/gridview.h"
#include "widgets/placement.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

namespace dorvan {

namespace {

QFont tahoma(int pixels, bool italic = false)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixels);
    font.setBold(true);
    font.setItalic(italic);
    return font;
}

QLabel *yellowLabel(const QString &text, const QFont &font, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::yellow);
    label->setPalette(palette);
    return label;
}

} // namespace

TFormAlarmWindow::TFormAlarmWindow(AlarmList &alarms, DisarmByAddress disarm, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowStaysOnTopHint),
      alarms_(alarms),
      disarm_(std::move(disarm))
{
    setObjectName(QStringLiteral("FormAlarmWindow"));
    setWindowTitle(QStringLiteral("Окно тревожных сообщений"));
    // Left open while the console closes, it must not keep the process alive.
    setAttribute(Qt::WA_QuitOnClose, false);
    setFont(tahoma(13));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::red);
    setPalette(palette);

    buildLayout();
    connectList();
    setFixedSize(890, 423);
    sightCheck_.setInterval(1000);
    connect(&sightCheck_, &QTimer::timeout, this, &TFormAlarmWindow::keepInSight);
}

void TFormAlarmWindow::buildLayout()
{
    Label2 = yellowLabel(QStringLiteral("Всего сообщений:"), tahoma(13), this);
    LabelNumAlarm = yellowLabel(QString::number(alarms_.alarmCount()), tahoma(13), this);
    LabelNumAlarm->setObjectName(QStringLiteral("LabelNumAlarm"));
    Label1 = yellowLabel(QStringLiteral("ВНИМАНИЕ !  ТРЕВОГА !    "), tahoma(27, true), this);
    Label1->setAlignment(Qt::AlignCenter);

    StringGrid1 = new StringGridView(&alarms_.list(), this);
    StringGrid1->setFont(tahoma(13));
    StringGrid1->setColumnWidths({188, 947});
    StringGrid1->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background: yellow; color: red; font: bold 13px Tahoma; }"));

    BitBtnAllOtboy = new QPushButton(QStringLiteral("Отбой тревог"), this);
    auto *editLabel = yellowLabel(QStringLiteral("Датчик"), tahoma(13), this);
    LabeledEdit1 = new QLineEdit(QStringLiteral("0"), this);
    LabeledEdit1->setMaxLength(6);
    LabeledEdit1->setFixedWidth(80);
    editLabel->setBuddy(LabeledEdit1);
    BitBtn1 = new QPushButton(QStringLiteral("Снять с охраны шлейф 1"), this);
    BitBtn2 = new QPushButton(QStringLiteral("Снять с охраны шлейф 2"), this);

    auto *top = new QHBoxLayout;
    top->addWidget(Label2);
    top->addWidget(LabelNumAlarm);
    top->addStretch();
    auto *editColumn = new QVBoxLayout;
    editColumn->addWidget(editLabel);
    editColumn->addWidget(LabeledEdit1);
    auto *bottom = new QHBoxLayout;
    bottom->addLayout(editColumn);
    bottom->addWidget(BitBtn1, 0, Qt::AlignBottom);
    bottom->addWidget(BitBtn2, 0, Qt::AlignBottom);
    bottom->addStretch();
    bottom->addWidget(BitBtnAllOtboy, 0, Qt::AlignBottom);

    auto *page = new QVBoxLayout(this);
    page->addLayout(top);
    page->addWidget(Label1);
    page->addWidget(StringGrid1, 1);
    page->addLayout(bottom);
}

void TFormAlarmWindow::connectList()
{
    connect(&alarms_, &AlarmList::alarmAdded, this, &TFormAlarmWindow::comeForward);
    connect(&alarms_, &AlarmList::alarmAdded, this, &TFormAlarmWindow::keepNewestInSight);
    connect(&alarms_, &AlarmList::hideRequested, this, [this] {
        sightCheck_.stop();
        hide();
    });
    connect(&alarms_, &AlarmList::countChanged, this,
            [this](int count) { LabelNumAlarm->setText(QString::number(count)); });
    connect(BitBtnAllOtboy, &QPushButton::clicked, this, &TFormAlarmWindow::BitBtnAllOtboyClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormAlarmWindow::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TFormAlarmWindow::BitBtn2Click);
}

// Shown, raised and given the keyboard, unless the operator is typing in a
// dialog or box: then it comes up beside it without taking the focus.
void TFormAlarmWindow::comeForward()
{
    sightCheck_.start();
    bringIntoSight(*this);
    watchMapping();
}

bool TFormAlarmWindow::inSight() const
{
    return windowInSight(*this);
}

// An unmapping reaches Qt as an expose of nothing; the window comes back at
// once rather than at the next check.
void TFormAlarmWindow::watchMapping()
{
    if (watchingMapping_ || !windowHandle())
        return;
    windowHandle()->installEventFilter(this);
    watchingMapping_ = true;
}

bool TFormAlarmWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Expose && watched == windowHandle() && alarms_.awaitingAllClear()
        && !windowMapped(*this))
        QTimer::singleShot(0, this, &TFormAlarmWindow::keepInSight);
    return QWidget::eventFilter(watched, event);
}

void TFormAlarmWindow::keepInSight()
{
    if (!alarms_.awaitingAllClear()) {
        sightCheck_.stop();
        return;
    }
    if (!isVisible() || isMinimized() || !windowMapped(*this)) {
        comeForward();
        return;
    }
    // Above every other window it is by its flag; the boxes that the console
    // raises above it on purpose stay there.
    keepWhollyOnScreen(*this);
}

// The window manager's close button and Alt+F4 do nothing while alarms wait:
// the all-clear is the only way to dismiss them.
void TFormAlarmWindow::closeEvent(QCloseEvent *event)
{
    if (alarms_.awaitingAllClear())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

// A minimize offered by the window manager is undone as soon as it happens.
void TFormAlarmWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && alarms_.awaitingAllClear())
        QTimer::singleShot(0, this, &TFormAlarmWindow::comeForward);
}

// The list follows the newest alarm unless the operator has scrolled away
// from its end: the newest went into what was the last row, which is still in
// view only if he had not.
void TFormAlarmWindow::keepNewestInSight()
{
    const QModelIndex newest = StringGrid1->model()->index(alarms_.alarmRows() - 1, 0);
    const QRect row = StringGrid1->visualRect(newest);
    if (row.bottom() >= 0 && row.top() < StringGrid1->viewport()->height())
        StringGrid1->scrollToBottom();
}

// Opens centred after each all-clear, or beside the dialog the operator is
// working in; while it stays open, a new alarm leaves it where it is.
void TFormAlarmWindow::showEvent(QShowEvent *event)
{
    centreOnScreen(*this);
    if (QWidget *dialog = operatorsDialog(*this)) {
        const placement::Places places =
            placement::placeAlarm(screenArea(*this), frameOf(*this), frameOf(*dialog));
        moveFrameTo(*dialog, places.dialog);
        alarmWindowGivesWay(*this, *dialog, places.alarm);
    }
    QWidget::showEvent(event);
}

void TFormAlarmWindow::BitBtnAllOtboyClick()
{
    alarms_.BitBtnAllOtboyClick();
}

void TFormAlarmWindow::BitBtn1Click()
{
    if (disarm_)
        disarm_(LabeledEdit1->text(), 1);
}

void TFormAlarmWindow::BitBtn2Click()
{
    if (disarm_)
        disarm_(LabeledEdit1->text(), 2);
}

} // namespace dorvan
