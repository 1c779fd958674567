#include "console/widgets/qtprompter.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace dorvan;

class TestQtPrompter : public QObject
{
    Q_OBJECT

private slots:
    // A fault report never waits: the box is on screen, on top, the call has
    // returned, and the operator's OK is passed on.
    void aReportBoxDoesNotWait()
    {
        QtPrompter prompter;
        int closed = 0;
        prompter.notify(QStringLiteral("Put_msg: не открылся файл QReport\\07.12.2026"),
                        QStringLiteral("Ошибка"), Prompter::Icon::Error, [&] { ++closed; });
        QCOMPARE(prompter.openBoxes(), 1);
        QVERIFY(!QApplication::activeModalWidget());
        auto *box = qobject_cast<QMessageBox *>(QApplication::topLevelWidgets().constLast());
        QVERIFY(box && box->isVisible());
        QVERIFY(box->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(closed, 0);
        box->button(QMessageBox::Ok)->click();
        QCOMPARE(closed, 1);
    }

    // While a box waits for its OK on the main window, a window of no parent
    // (the alarm window) still takes the operator's clicks.
    void aWaitingBoxBlocksOnlyTheMainWindow()
    {
        QtPrompter prompter;
        QMainWindow main;
        main.show();
        QPushButton allClear(QStringLiteral("Отбой тревог"));
        allClear.show();
        QVERIFY(QTest::qWaitForWindowExposed(&allClear));
        int clicks = 0;
        connect(&allClear, &QPushButton::clicked, [&] { ++clicks; });
        bool mainBlocked = false;
        QTimer::singleShot(0, [&] {
            mainBlocked = QApplication::activeModalWidget()
                          && QApplication::activeModalWidget()->parentWidget() == &main;
            // Through the window system, where modality is enforced.
            QTest::mouseClick(allClear.windowHandle(), Qt::LeftButton, {}, allClear.rect().center());
            QApplication::activeModalWidget()->close();
        });
        prompter.message(QStringLiteral("Ваш пароль неверный"), QStringLiteral("Ошибка"),
                         Prompter::Icon::Error);
        QVERIFY(mainBlocked);
        QCOMPARE(clicks, 1);
    }

    // With no Qt translation loaded (as here) the question still reads
    // "Да"/"Нет", and a stray Enter answers No.
    void aQuestionReadsRussianAndEnterAnswersNo()
    {
        QtPrompter prompter;
        QStringList buttons;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            for (const QAbstractButton *button : box->buttons())
                buttons.append(button->text());
            QTest::keyClick(box, Qt::Key_Return);
        });
        QVERIFY(!prompter.askYesNo(QStringLiteral("Завершить работу ?"), QStringLiteral("Выход")));
        buttons.sort();
        QCOMPARE(buttons, (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    }
};

QTEST_MAIN(TestQtPrompter)
#include "test_qtprompter.moc"
