#include "station/widgets/cardview.h"

#include "station/cards.h"
#include "station/widgets/stationuilog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dorvan::station {

namespace {

QString paragraph(const QString &title, const QString &text)
{
    const QString shown = text.trimmed().isEmpty() ? QStringLiteral("—") : text.trimmed().toHtmlEscaped();
    return QStringLiteral("<p><b>%1</b><br>%2</p>").arg(title, QString(shown).replace(u'\n', QStringLiteral("<br>")));
}

QString changedLine(const PostCard &card)
{
    return QStringLiteral("<p><small>изменена %1, %2 (%3)</small></p>")
        .arg(card.changed.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm")), card.operatorName.toHtmlEscaped(),
             card.station.toHtmlEscaped());
}

} // namespace

CardView::CardView(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("card"));
    setTextFormat(Qt::RichText);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setFrameShape(QFrame::StyledPanel);
    setMargin(4);
    showCard({}, nullptr);
}

void CardView::showCard(const QString &site, const PostCard *card)
{
    site_ = site;
    if (site.isEmpty()) {
        setText(QStringLiteral("Выберите тревогу поста: здесь будет его карточка."));
        return;
    }
    if (!card) {
        setText(QStringLiteral("<p><b>Пост %1</b></p><p>Карточки поста ещё нет.</p>").arg(site.toHtmlEscaped()));
        return;
    }
    setText(QStringLiteral("<p><b>Пост %1</b></p>").arg(site.toHtmlEscaped()) + paragraph(QStringLiteral("Адрес"), card->address)
            + paragraph(QStringLiteral("При тревоге"), card->instructions)
            + paragraph(QStringLiteral("Звонить"), card->contacts) + changedLine(*card));
}

QString cardNote(const PostCard *card)
{
    if (!card || card->isEmpty())
        return {};
    const QStringList contacts = card->contactLines();
    QString note = QStringLiteral("адрес: ") + (card->address.trimmed().isEmpty() ? QStringLiteral("—") : card->address.trimmed());
    if (!contacts.isEmpty())
        note += QStringLiteral("\nзвонить: ") + contacts.first();
    return note;
}

CardDialog::CardDialog(const QString &site, const PostCard *card, Save save, QWidget *parent)
    : QDialog(parent), site_(site), save_(std::move(save)), error_(new QLabel(this))
{
    setObjectName(QStringLiteral("cardDialog"));
    setWindowTitle(QStringLiteral("Карточка поста %1").arg(site));
    address_ = field(QStringLiteral("address"), card ? card->address : QString(), QStringLiteral("город, улица, дом; как проехать"));
    instructions_ = field(QStringLiteral("instructions"), card ? card->instructions : QString(),
                          QStringLiteral("что делать при тревоге"));
    contacts_ = field(QStringLiteral("contacts"), card ? card->contacts : QString(),
                      QStringLiteral("по одному в строке: имя — номер"));
    // An address is a line or three; the instructions and the contacts take the room.
    address_->setMaximumHeight(4 * address_->fontMetrics().lineSpacing() + 2 * address_->frameWidth());
    error_->setObjectName(QStringLiteral("error"));
    error_->setStyleSheet(QStringLiteral("color: #B00000; font-weight: bold"));
    error_->setWordWrap(true);
    error_->hide();

    auto *box = new QDialogButtonBox(this);
    QPushButton *accept = box->addButton(QStringLiteral("Сохранить"), QDialogButtonBox::AcceptRole);
    accept->setObjectName(QStringLiteral("accept"));
    box->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cancel"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Адрес:"), address_);
    form->addRow(QStringLiteral("При тревоге:"), instructions_);
    form->addRow(QStringLiteral("Звонить:"), contacts_);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(error_);
    layout->addWidget(box);
    setMinimumWidth(520);
}

QPlainTextEdit *CardDialog::field(const QString &name, const QString &text, const QString &hint)
{
    auto *edit = new QPlainTextEdit(text, this);
    edit->setObjectName(name);
    edit->setPlaceholderText(hint);
    edit->setTabChangesFocus(true);
    return edit;
}

void CardDialog::done(int result)
{
    if (result == QDialog::Accepted) {
        PostCard card;
        card.site = site_;
        card.address = address_->toPlainText().trimmed();
        card.instructions = instructions_->toPlainText().trimmed();
        card.contacts = contacts_->toPlainText().trimmed();
        QString error;
        if (!save_(card, &error)) {
            qCWarning(lcStationUi).noquote() << "card of" << site_ << "not saved:" << error;
            error_->setText(error);
            error_->show();
            return;
        }
    }
    QDialog::done(result);
}

} // namespace dorvan::station
