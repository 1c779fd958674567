#include "console/widgets/aboutbox.h"

#include "console/widgets/fonts.h"
#include "widgets/placement.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace dorvan {

namespace {

QLabel *aboutLine(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(sansSerifFont(13, true));
    label->setWordWrap(true);
    return label;
}

} // namespace

TAboutBox::TAboutBox(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе..."));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);

    auto *panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(2);
    auto *lines = new QVBoxLayout(panel);
    lines->addWidget(aboutLine(QStringLiteral("Пульт контроля датчиков Дорван"), panel));
    lines->addWidget(aboutLine(QStringLiteral("Версия продукта: 3.1 (20 марта 2020 года)"), panel));
    lines->addWidget(aboutLine(QStringLiteral("Разработчик: отдел программного обеспечения "
                                              "охранных систем"),
                               panel));
    lines->addWidget(aboutLine(QStringLiteral("Электронная почта: support@dorvan.example"), panel));

    auto *close = new QPushButton(QStringLiteral("Закрыть"), this);
    close->setObjectName(QStringLiteral("OKButton"));
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addWidget(close, 0, Qt::AlignHCenter);
    setFixedSize(495, 223);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    centreClearOfAlarms(*this);
    QDialog::showEvent(event);
}

} // namespace dorvan
