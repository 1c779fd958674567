#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace dorvan::station {

class CardView;
class SensorListModel;
class ToneTable;
struct PostCard;

// One post's sensors, as the station's sensor model shows the post chosen
// on the board, and beside them the post's card; a window of its own beside
// the board, not modal.
class PostWindow : public QWidget
{
    Q_OBJECT

public:
    PostWindow(SensorListModel &sensors, QWidget *parent = nullptr);

    void showPost(const QString &site);
    QString site() const;
    ToneTable &table() { return *table_; }

    // Where the window reads the post's card from (the station).
    using CardSource = std::function<const PostCard *(const QString &site)>;
    void setCardSource(CardSource source);
    // The card read again: it changed, here or at another station.
    void refreshCard();
    void setCardEditable(bool editable);

signals:
    void acknowledgePostClicked(const QString &site);
    // address -1: the whole post.
    void outOfServiceClicked(const QString &site, int address);
    void editCardClicked(const QString &site);

private:
    void fitColumns();
    void fitHeight();

    SensorListModel &sensors_;
    ToneTable *table_;
    QLabel *summary_;
    CardView *card_;
    QPushButton *editCard_;
    CardSource cardSource_;
    QPushButton *close_ = nullptr;
};

} // namespace dorvan::station
