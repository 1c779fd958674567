#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace dorvan::station {

class SensorListModel;
class ToneTable;

// One post's sensors, as the station's sensor model shows the post chosen
// on the board; a window of its own beside the board, not modal.
class PostWindow : public QWidget
{
    Q_OBJECT

public:
    PostWindow(SensorListModel &sensors, QWidget *parent = nullptr);

    void showPost(const QString &site);
    QString site() const;
    ToneTable &table() { return *table_; }

signals:
    void acknowledgePostClicked(const QString &site);
    // address -1: the whole post.
    void outOfServiceClicked(const QString &site, int address);

private:
    void fitColumns();
    void fitHeight();

    SensorListModel &sensors_;
    ToneTable *table_;
    QLabel *summary_;
    QPushButton *close_ = nullptr;
};

} // namespace dorvan::station
