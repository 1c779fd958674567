#pragma once

#include <QDialog>
#include <QLabel>

#include <functional>

class QPlainTextEdit;

namespace dorvan::station {

struct PostCard;

// A post's card as the operator reads it beside an alarm: the address, what
// to do, whom to call, and who changed it last. Plain text, selectable.
class CardView : public QLabel
{
    Q_OBJECT

public:
    explicit CardView(QWidget *parent = nullptr);

    // nullptr: the post has no card yet (site empty: no post chosen).
    void showCard(const QString &site, const PostCard *card);
    QString site() const { return site_; }

private:
    QString site_;
};

// The card in the board's tile's tooltip: the address and the first contact.
QString cardNote(const PostCard *card);

// The card's three fields to edit; the station decides, and a refusal stays
// in the dialog for the operator to mend.
class CardDialog : public QDialog
{
    Q_OBJECT

public:
    using Save = std::function<bool(const PostCard &card, QString *error)>;

    CardDialog(const QString &site, const PostCard *card, Save save, QWidget *parent = nullptr);

    void done(int result) override;

private:
    QPlainTextEdit *field(const QString &name, const QString &text, const QString &hint);

    QString site_;
    Save save_;
    QPlainTextEdit *address_;
    QPlainTextEdit *instructions_;
    QPlainTextEdit *contacts_;
    QLabel *error_;
};

} // namespace dorvan::station
