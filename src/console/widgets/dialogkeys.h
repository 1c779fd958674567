#pragma once

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>

namespace dorvan {

inline bool isEnterPress(const QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

inline QPushButton *namedButton(const QString &name, const QString &text, QWidget *parent)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

// Two buttons side by side, as every dialog of the console ends.
inline QHBoxLayout *buttonRow(QPushButton *first, QPushButton *second)
{
    auto *row = new QHBoxLayout;
    row->addWidget(first);
    row->addWidget(second);
    return row;
}

} // namespace dorvan
