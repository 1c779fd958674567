#include "station/widgets/postwindow.h"

#include "station/models.h"
#include "station/widgets/alarmtable.h"
#include "widgets/placement.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dorvan::station {

PostWindow::PostWindow(SensorListModel &sensors, QWidget *parent)
    : QWidget(parent, Qt::Window), sensors_(sensors), table_(new ToneTable(this)), summary_(new QLabel(this))
{
    setObjectName(QStringLiteral("postWindow"));
    table_->setObjectName(QStringLiteral("sensors"));
    table_->setModel(&sensors_);
    auto *acknowledge = new QPushButton(QStringLiteral("Квитировать все тревоги поста"), this);
    acknowledge->setObjectName(QStringLiteral("acknowledgePost"));
    connect(acknowledge, &QPushButton::clicked, this, [this] { emit acknowledgePostClicked(site()); });
    auto *close = new QPushButton(QStringLiteral("Закрыть"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(summary_, 1);
    buttons->addWidget(acknowledge);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(buttons);

    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(&sensors_, signal, this, [this] { fitColumns(); });
    connect(&sensors_, &QAbstractItemModel::modelReset, this, [this] { fitColumns(); });
    resize(1000, 640);
}

void PostWindow::showPost(const QString &site)
{
    sensors_.showPost(site);
    setWindowTitle(QStringLiteral("Пост %1: датчики").arg(site));
    fitColumns();
    if (!isVisible())
        centreOnScreen(*this);
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

} // namespace dorvan::station
