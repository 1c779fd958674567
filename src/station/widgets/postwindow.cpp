#include "station/widgets/postwindow.h"

#include "station/models.h"
#include "station/widgets/alarmtable.h"
#include "station/widgets/cardview.h"
#include "widgets/placement.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace dorvan::station {

PostWindow::PostWindow(SensorListModel &sensors, QWidget *parent)
    : QWidget(parent, Qt::Window), sensors_(sensors), table_(new ToneTable(this)), summary_(new QLabel(this)),
      card_(new CardView(this)), editCard_(new QPushButton(QStringLiteral("Изменить карточку…"), this))
{
    setObjectName(QStringLiteral("postWindow"));
    table_->setObjectName(QStringLiteral("sensors"));
    table_->setModel(&sensors_);
    auto *acknowledge = new QPushButton(QStringLiteral("Квитировать все тревоги поста"), this);
    acknowledge->setObjectName(QStringLiteral("acknowledgePost"));
    connect(acknowledge, &QPushButton::clicked, this, [this] { emit acknowledgePostClicked(site()); });
    auto *sensorOut = new QPushButton(QStringLiteral("Вывести датчик из работы…"), this);
    sensorOut->setObjectName(QStringLiteral("sensorOutOfService"));
    connect(sensorOut, &QPushButton::clicked, this, [this] {
        const QModelIndexList chosen = table_->selectionModel()->selectedRows();
        emit outOfServiceClicked(site(), chosen.isEmpty() ? -2 : chosen.first().data(KeyRole).toInt());
    });
    auto *postOut = new QPushButton(QStringLiteral("Вывести пост…"), this);
    postOut->setObjectName(QStringLiteral("postOutOfService"));
    connect(postOut, &QPushButton::clicked, this, [this] { emit outOfServiceClicked(site(), -1); });
    close_ = new QPushButton(QStringLiteral("Закрыть"), this);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(acknowledge);
    buttons->addWidget(sensorOut);
    buttons->addWidget(postOut);
    buttons->addWidget(close_);
    editCard_->setObjectName(QStringLiteral("editCard"));
    editCard_->setEnabled(false);
    connect(editCard_, &QPushButton::clicked, this, [this] { emit editCardClicked(site()); });
    auto *cardColumn = new QVBoxLayout;
    cardColumn->addWidget(card_, 1);
    cardColumn->addWidget(editCard_);
    card_->setMinimumWidth(220);
    auto *sensorsAndCard = new QHBoxLayout;
    sensorsAndCard->addWidget(table_, 3);
    sensorsAndCard->addLayout(cardColumn, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(sensorsAndCard, 1);
    layout->addLayout(buttons);

    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&sensors_, signal, this, [this] { fitColumns(); });
    connect(&sensors_, &QAbstractItemModel::modelReset, this, [this] { fitColumns(); });
    resize(1300, 400);
}

void PostWindow::setCardSource(CardSource source)
{
    cardSource_ = std::move(source);
    refreshCard();
}

void PostWindow::refreshCard()
{
    card_->showCard(site(), cardSource_ && !site().isEmpty() ? cardSource_(site()) : nullptr);
}

void PostWindow::setCardEditable(bool editable)
{
    editCard_->setEnabled(editable);
}

void PostWindow::showPost(const QString &site)
{
    sensors_.showPost(site);
    setWindowTitle(QStringLiteral("Пост %1: датчики и карточка").arg(site));
    refreshCard();
    fitColumns();
    fitHeight();
    if (!isVisible()) {
        // The sensors, the card and the buttons: as wide as the screen allows.
        resize(qMin(width(), screenArea(*this).width() - 20), height());
        centreOnScreen(*this);
    }
    show();
    raise();
    activateWindow();
}

QString PostWindow::site() const
{
    return sensors_.shownPost();
}

void PostWindow::fitColumns()
{
    table_->resizeColumnsToContents();
    summary_->setText(QStringLiteral("Датчиков: %1").arg(sensors_.rowCount()));
}

// As high as its sensors need, from 8 rows to all 32, and no higher than the screen.
void PostWindow::fitHeight()
{
    const int rows = std::clamp(sensors_.rowCount(), 8, 32);
    const int tableHeight = table_->horizontalHeader()->height() + rows * table_->verticalHeader()->defaultSectionSize()
                            + 2 * table_->frameWidth();
    const QMargins margins = layout()->contentsMargins();
    const int wanted = tableHeight + layout()->spacing() + close_->sizeHint().height() + margins.top() + margins.bottom();
    resize(width(), qMin(wanted, screenArea(*this).height() - 60));
}

} // namespace dorvan::station
