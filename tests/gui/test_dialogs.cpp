// The operator's dialogs driven with keys and clicks, offscreen.

#include "console/console.h"
#include "console/widgets/passworddialogs.h"
#include "console/widgets/sensordialogs.h"
#include "console/widgets/thresholddialog.h"
#include "link/frames.h"

#include "consolerig.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace dorvan;
using namespace dorvan::test;

namespace {

const QString wrongNumber = QStringLiteral("Вы ввели ошибочное число; повторите ввод");

struct Rig : ConsoleRig
{
    Rig()
    {
        console.FormCreate(dir.path());
        prompter.clear();
    }

    SensorDialogParts sensorDialogs() { return {parts.sensorCommands, parts.operators, prompter, parts.selection}; }
    ThresholdOffset::Parts offsetParts() { return {prompter, clock, parts.table, parts.events, parts.selection}; }

    // Adds an operator through the dialog's own "Добавить".
    void addOperator(OperatorGroup *group, const QString &name)
    {
        prompter.inputs.push_back(name);
        QTest::mouseClick(group->AddButton, Qt::LeftButton);
    }
};

void showActive(QWidget &dialog)
{
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
}

// Types into a modal dialog once its loop runs, then presses Enter there.
void typeThenEnter(QLineEdit *edit, const QString &text)
{
    QTimer::singleShot(0, edit, [edit, text] {
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    });
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void connectDialogEnterWalksToAccept()
    {
        Rig rig;
        rig.parts.selection.select(4);
        TFSetSensor dialog(rig.sensorDialogs());
        showActive(dialog);
        rig.addOperator(dialog.operators, QStringLiteral("Иванов"));
        QCOMPARE(dialog.operators->ComboBoxFam->currentText(), QStringLiteral("Иванов"));
        QCOMPARE(dialog.EditNumSen->text(), QStringLiteral("0"));
        QCOMPARE(dialog.ComboBoxTypeSen->currentIndex(), 1);

        dialog.EditNumSen->setFocus();
        dialog.EditNumSen->selectAll();
        QTest::keyClicks(dialog.EditNumSen, "4711");
        QTest::keyClick(dialog.EditNumSen, Qt::Key_Return);
        QVERIFY(dialog.isVisible()); // the first Enter only moves on
        QCOMPARE(QApplication::focusWidget(), dialog.ButtonAccept);
        QTest::keyClick(dialog.ButtonAccept, Qt::Key_Return);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(rig.parts.table[3].address, 4711u);
        QCOMPARE(rig.parts.table[3].model, qint16(1));
        QVERIFY(rig.eventTexts().contains(
            QStringLiteral("Датчик <Дорван-302ДК> № 4711 подключён. Оператор: Иванов")));
    }

    void connectDialogClosesOnRefusalAndStartsAfresh()
    {
        Rig rig;
        rig.parts.selection.select(1);
        TFSetSensor dialog(rig.sensorDialogs());
        showActive(dialog);
        dialog.EditNumSen->setText(QStringLiteral("12"));
        dialog.ComboBoxTypeSen->setCurrentIndex(0);
        QTest::mouseClick(dialog.ButtonAccept, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(rig.prompter.texts(), QStringList{"Не выбрана фамилия оператора"});
        QVERIFY(!rig.parts.table.occupied(0));

        showActive(dialog);
        QCOMPARE(dialog.EditNumSen->text(), QStringLiteral("0"));
        QCOMPARE(dialog.ComboBoxTypeSen->currentIndex(), 1);
        QCOMPARE(QApplication::focusWidget(), dialog.EditNumSen);
    }

    void operatorsCanBeRemovedFromTheDialog()
    {
        Rig rig;
        TRemoveSensor dialog(rig.sensorDialogs());
        showActive(dialog);
        rig.addOperator(dialog.operators, QStringLiteral("Иванов"));
        rig.addOperator(dialog.operators, QStringLiteral("Петров"));
        QCOMPARE(dialog.operators->ComboBoxFam->count(), 2);
        QCOMPARE(dialog.operators->ComboBoxFam->currentIndex(), 1);
        rig.prompter.answers = {true};
        QTest::mouseClick(dialog.operators->RemoveButton1, Qt::LeftButton);
        QCOMPARE(dialog.operators->ComboBoxFam->count(), 1);
        QCOMPARE(dialog.operators->ComboBoxFam->currentText(), QStringLiteral("Иванов"));
        QCOMPARE(rig.parts.operators.operatorCount(), 1);
    }

    void disconnectDialogAtTopLeftAcceptsWithEnter()
    {
        Rig rig;
        rig.parts.selection.select(2);
        TFSetSensor connectDialog(rig.sensorDialogs());
        showActive(connectDialog);
        rig.addOperator(connectDialog.operators, QStringLiteral("Сидоров"));
        connectDialog.EditNumSen->setText(QStringLiteral("300"));
        QTest::mouseClick(connectDialog.ButtonAccept, Qt::LeftButton);
        QVERIFY(rig.parts.table.occupied(1));

        TRemoveSensor dialog(rig.sensorDialogs());
        showActive(dialog);
        QCOMPARE(dialog.pos(), QPoint(0, 0));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Отключение датчика"));
        dialog.operators->ComboBoxFam->setFocus();
        QTest::keyClick(dialog.operators->ComboBoxFam, Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), dialog.ButtonAccept);
        QVERIFY(dialog.isVisible());
        QTest::keyClick(dialog.ButtonAccept, Qt::Key_Return);
        QVERIFY(!dialog.isVisible());
        QVERIFY(!rig.parts.table.occupied(1));
        QVERIFY(rig.eventTexts().contains(
            QStringLiteral("Датчик <Дорван-302ДК> № 300 отключён. Оператор: Сидоров")));
    }

    void passwordDialogChecksOnEveryClose_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("withEnter");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("right, Enter") << "482915" << true << true;
        QTest::newRow("leading zeros, Enter") << "000482915" << true << true;
        QTest::newRow("right, close button") << "482915" << false << true;
        QTest::newRow("empty, Enter") << "" << true << false;
        QTest::newRow("wrong, close button") << "482916" << false << false;
    }
    void passwordDialogChecksOnEveryClose()
    {
        QFETCH(QString, typed);
        QFETCH(bool, withEnter);
        QFETCH(bool, accepted);
        Rig rig;
        rig.parts.hardware.password = 482915;
        TFormPassword dialog(rig.parts.hardware);
        showActive(dialog);
        QTest::keyClicks(dialog.EditPSW, typed);
        QCOMPARE(dialog.EditPSW->displayText(), QString(typed.size(), u'*'));
        if (withEnter)
            QTest::keyClick(dialog.EditPSW, Qt::Key_Return);
        else
            dialog.close();
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
        QVERIFY(dialog.EditPSW->text().isEmpty());
    }

    void passwordChangeSwapsTheCaptionForItsDuration()
    {
        Rig rig;
        rig.parts.hardware.password = 482915;
        TFormPassword dialog(rig.parts.hardware);
        QString captionShown;
        QTimer::singleShot(0, &dialog, [&] { captionShown = dialog.windowTitle(); });
        typeThenEnter(dialog.EditPSW, "482915");
        QVERIFY(dialog.ask(true));
        QCOMPARE(captionShown, QStringLiteral("Пожалуйста, введите старый пароль"));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Пожалуйста, введите пароль"));
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Введите пароль и нажмите Enter"));

        typeThenEnter(dialog.EditPSW, "1");
        QVERIFY(!dialog.ask(false));
    }

    void newPasswordDialog_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("password");
        QTest::newRow("equal") << "0" << "000" << 0;
        QTest::newRow("different") << "123" << "321" << 482915;
        QTest::newRow("seven digits") << "1234567" << "1234567" << 482915;
    }
    void newPasswordDialog()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, password);
        Rig rig;
        rig.parts.hardware.password = 482915;
        TFormChangeRassword dialog(rig.parts.hardware, rig.prompter);
        showActive(dialog);
        QTest::keyClicks(dialog.Edit1, first);
        QTest::keyClicks(dialog.Edit2, second);
        QCOMPARE(dialog.Edit1->displayText() + dialog.Edit2->displayText(),
                 QString(first.size() + second.size(), u'*'));
        QTest::mouseClick(dialog.OkButton, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(rig.parts.hardware.password, password);
        QCOMPARE(rig.prompter.texts(), password == 482915 ? QStringList{"Неверно указан пароль"}
                                                          : QStringList());
        showActive(dialog);
        QVERIFY(dialog.Edit1->text().isEmpty());
        QVERIFY(dialog.Edit2->text().isEmpty());
    }

    // What the edit shows is what is stored and sent: four characters can be
    // typed, a stored five-digit value is shown whole and kept when untouched.
    void thresholdOffsetOfModelZero_data()
    {
        QTest::addColumn<float>("stored");
        QTest::addColumn<bool>("replace"); // Ctrl+A before typing, else End
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("value"); // stored, sent, and shown at the next opening
        QTest::newRow("65535 untouched") << 65535.0f << false << "" << "65535" << 65535;
        QTest::newRow("no sixth digit typed") << 65535.0f << false << "7" << "65535" << 65535;
        QTest::newRow("25 typed") << 0.0f << true << "25" << "25" << 25;
        QTest::newRow("minus one typed") << 0.0f << true << "-1" << "-1" << 65535;
        QTest::newRow("four of five typed") << 0.0f << true << "12345" << "1234" << 1234;
    }
    void thresholdOffsetOfModelZero()
    {
        QFETCH(float, stored);
        QFETCH(bool, replace);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, value);
        Rig rig;
        rig.parts.table.Occupy_slot(0, 77, 0, 0, 1.0);
        rig.parts.table[0].thresholdDc1 = rig.parts.table[0].thresholdDc2 = stored;
        rig.parts.selection.select(1);
        TFDirect_component_porog dialog(rig.offsetParts(), rig.parts.ctx);
        showActive(dialog);
        QLineEdit *edit = dialog.EditDirect_component_porog;
        QVERIFY(edit->isEnabled() && !dialog.EditDirect_component_porog1->isEnabled());
        QCOMPARE(QApplication::focusWidget(), edit);
        if (replace)
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        else
            QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), shown);
        QTest::mouseClick(dialog.ButtonAccept, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());

        QCOMPARE(rig.parts.table[0].thresholdDc1, float(value));
        QCOMPARE(rig.parts.table[0].thresholdDc2, float(value));
        QCOMPARE(rig.eventTexts().filter("постоянной").size(), float(value) == stored ? 0 : 1);
        rig.line.written.clear();
        rig.parts.link.Timer1Timer();
        const QByteArray data = QByteArray().append(char(value & 0xFF)).append(char(value >> 8));
        QCOMPARE(rig.line.written, stuffRequest(buildFrame(Frame::REQ_SYNC, Frame::REQ_MARK,
                                                           Frame::NET_CODE, 77,
                                                           Frame::CMD_SET_DC_M0, data)));
        showActive(dialog);
        QCOMPARE(edit->text(), QString::number(value));
        QVERIFY(rig.prompter.texts().isEmpty());
    }

    void thresholdDialogRefusesLettersOnLeavingAFlank()
    {
        Rig rig;
        rig.parts.table.Occupy_slot(2, 4711, 1, 0, 1.0);
        rig.parts.table[2].thresholdDc1 = 3.5f;
        rig.parts.selection.select(3);
        TFDirect_component_porog dialog(rig.offsetParts(), rig.parts.ctx);
        showActive(dialog);
        QVERIFY(!dialog.EditDirect_component_porog->isEnabled());
        QCOMPARE(dialog.EditDirect_component_porog1->text(), QStringLiteral("3,500"));

        dialog.EditDirect_component_porog1->setFocus();
        dialog.EditDirect_component_porog1->selectAll();
        QTest::keyClicks(dialog.EditDirect_component_porog1, "abc");
        QTest::keyClick(dialog.EditDirect_component_porog1, Qt::Key_Tab);
        QCOMPARE(rig.prompter.texts(), QStringList{wrongNumber});
        dialog.EditDirect_component_porog2->selectAll();
        QTest::keyClicks(dialog.EditDirect_component_porog2, "7,25");
        QTest::keyClick(dialog.EditDirect_component_porog2, Qt::Key_Return); // accepts
        QVERIFY(!dialog.isVisible());
        QCOMPARE(rig.parts.table[2].thresholdDc1, 3.5f);
        QCOMPARE(rig.parts.table[2].thresholdDc2, 7.25f);
        QCOMPARE(rig.eventTexts().filter("фланга").size(), 1);
        QCOMPARE(rig.parts.table[2].pendingRequest, Request::SetDcModel1);
    }
};

QTEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
