#pragma once

#include <QDialog>

namespace dorvan {

// "О программе...": the product, its version and its maker.
class TAboutBox : public QDialog
{
    Q_OBJECT

public:
    explicit TAboutBox(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
};

} // namespace dorvan
