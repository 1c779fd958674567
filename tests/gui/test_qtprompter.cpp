#include "console/widgets/qtprompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace dorvan;

class TestQtPrompter : public QObject
{
    Q_OBJECT

private slots:
    // A file that keeps failing while the first box waits for its OK must not
    // nest one modal loop per event.
    void reportsFromInsideAnOpenBoxNeverNest()
    {
        QtPrompter prompter;
        int maxDepth = 0;
        int depth = 0;
        QTimer repeat;
        repeat.setInterval(1);
        int reports = 0;
        QObject::connect(&repeat, &QTimer::timeout, [&] {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            const QString text = reports % 2 ? QStringLiteral("Put_msg: не открылся файл QReport\\07.12.2026")
                                             : QStringLiteral("Put_msg: не открылся файл /x/Dorvan301DK_mess/%1").arg(reports % 40);
            ++reports;
            prompter.error(text);
            --depth;
        });
        QTimer::singleShot(0, [&] { repeat.start(); });
        QTimer::singleShot(300, [&] {
            repeat.stop();
            QVERIFY(prompter.waitingBoxes() <= QtPrompter::MaxWaitingBoxes);
            QVERIFY(prompter.waitingBoxes() >= 1);
            // The operator acknowledges the first box.
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        prompter.error(QStringLiteral("Put_msg: не открылся файл QReport\\07.12.2026"));
        QVERIFY(reports > 20);
        QCOMPARE(maxDepth, 1);
    }

    void theSameTextIsShownOnce()
    {
        QtPrompter prompter;
        int waiting = -1;
        QTimer::singleShot(0, [&] {
            for (int i = 0; i < 50; ++i)
                prompter.error(QStringLiteral("Save_sm: не открылся файл Dorvan302DK\\7"));
            prompter.error(QStringLiteral("Put_msg: не открылся файл QReport\\07.12.2026"));
            waiting = prompter.waitingBoxes();
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
                box->accept();
        });
        prompter.error(QStringLiteral("Put_msg: не открылся файл QReport\\07.12.2026"));
        QCOMPARE(waiting, 1);
    }
};

QTEST_MAIN(TestQtPrompter)
#include "test_qtprompter.moc"
