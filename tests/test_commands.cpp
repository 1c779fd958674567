// The operator's commands without windows: the context menu's enabling, the
// arming commands' selection check, the password rules and the threshold offset.

#include "console/commands.h"
#include "console/console.h"
#include "console/password.h"
#include "console/thresholdoffset.h"

#include "consolerig.h"

#include <QTest>

using namespace dorvan;
using namespace dorvan::test;

namespace {

struct Rig : ConsoleRig
{
    Rig() { console.setWorkDir(dir.path()); }

    MenuCommands menu(OperatorDialogs &dialogs)
    {
        return MenuCommands({prompter, parts.table, parts.selection, parts.sensorCommands, parts.report}, dialogs);
    }

    void occupy(int slot, quint32 address, qint16 model)
    {
        parts.table.Occupy_slot(slot, address, model, 0, clock.nowDays());
    }
};

// Records which window a command opened and answers the password dialog.
struct ScriptedDialogs : OperatorDialogs
{
    bool askPassword(bool forChange) override
    {
        asked << (forChange ? QStringLiteral("old") : QStringLiteral("password"));
        return passwordRight;
    }
    void showConnect() override { opened << QStringLiteral("connect"); }
    void showDisconnect() override { opened << QStringLiteral("disconnect"); }
    void showThresholdOffset() override { opened << QStringLiteral("threshold"); }
    void showPasswordChange() override { opened << QStringLiteral("change"); }
    void showReport() override { opened << QStringLiteral("report"); }
    void showAbout() override { opened << QStringLiteral("about"); }

    bool passwordRight = false;
    QStringList asked;
    QStringList opened;
};

MenuEnabling items(std::initializer_list<bool MenuEnabling::*> enabled)
{
    MenuEnabling result;
    for (auto item : enabled)
        result.*item = true;
    return result;
}

const QString wrongNumber = QStringLiteral("Вы ввели ошибочное число; повторите ввод");

} // namespace

Q_DECLARE_METATYPE(dorvan::MenuEnabling)

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void menuFitsTheSelectedSlot_data()
    {
        QTest::addColumn<int>("selectedRow");
        QTest::addColumn<int>("armed1");
        QTest::addColumn<int>("armed2");
        QTest::addColumn<MenuEnabling>("expected");
        QTest::addColumn<bool>("complains");
        // Row 4 holds a sensor, row 2 is empty.
        QTest::newRow("no selection") << 0 << 0 << 0 << MenuEnabling() << true;
        QTest::newRow("empty row") << 2 << 0 << 0 << items({&MenuEnabling::PEstablish}) << false;
        QTest::newRow("Ш1 armed, Ш2 not")
            << 4 << 1 << 0
            << items({&MenuEnabling::PRemove, &MenuEnabling::N_Direct_component_porog,
                      &MenuEnabling::PRemoveSh1, &MenuEnabling::PSetSh2})
            << false;
        QTest::newRow("both disarmed")
            << 4 << 0 << 0
            << items({&MenuEnabling::PRemove, &MenuEnabling::N_Direct_component_porog,
                      &MenuEnabling::PSetSh1, &MenuEnabling::PSetSh2})
            << false;
        QTest::newRow("both armed")
            << 4 << 1 << 1
            << items({&MenuEnabling::PRemove, &MenuEnabling::N_Direct_component_porog,
                      &MenuEnabling::PRemoveSh1, &MenuEnabling::PRemoveSh2})
            << false;
    }
    void menuFitsTheSelectedSlot()
    {
        QFETCH(int, selectedRow);
        QFETCH(int, armed1);
        QFETCH(int, armed2);
        QFETCH(MenuEnabling, expected);
        QFETCH(bool, complains);
        Rig rig;
        ScriptedDialogs dialogs;
        rig.occupy(3, 4711, 1);
        rig.parts.table[3].armed1 = quint8(armed1);
        rig.parts.table[3].armed2 = quint8(armed2);
        rig.parts.selection.select(selectedRow);

        QVERIFY(rig.menu(dialogs).PopupMenu1Popup() == expected);
        QCOMPARE(rig.prompter.texts(),
                 complains ? QStringList{selectPositionMessage()} : QStringList());
        if (complains) {
            QCOMPARE(rig.prompter.shown[0].caption, QStringLiteral("Ошибка"));
            QCOMPARE(rig.prompter.shown[0].icon, Prompter::Icon::Error);
        }
    }

    void armingNeedsASelectedRow()
    {
        Rig rig;
        ScriptedDialogs dialogs;
        rig.occupy(0, 12, 0);
        MenuCommands commands = rig.menu(dialogs);
        commands.PSetSh1Click();
        commands.PRemoveSh2Click();
        QCOMPARE(rig.prompter.texts(), QStringList({selectPositionMessage(), selectPositionMessage()}));
        QCOMPARE(rig.parts.table[0].armed1, quint8(0));

        rig.prompter.clear();
        rig.parts.selection.select(1);
        commands.PSetSh2Click();
        QCOMPARE(rig.parts.table[0].armed2, quint8(1));
        QCOMPARE(rig.sensorCell(SensorColumn::Guard2, 0), QStringLiteral("Взят"));
        QVERIFY(rig.prompter.texts().isEmpty());
        commands.PRemoveSh2Click();
        QCOMPARE(rig.parts.table[0].armed2, quint8(0));
    }

    void guardedCommandsAskThePasswordFirst()
    {
        Rig rig;
        ScriptedDialogs dialogs;
        MenuCommands commands = rig.menu(dialogs);
        rig.occupy(5, 300, 0);
        rig.parts.selection.select(6);

        commands.N_Direct_component_porogClick();
        commands.MReplacePasswordClick();
        QCOMPARE(dialogs.asked, QStringList({"password", "old"}));
        QVERIFY(dialogs.opened.isEmpty());
        QCOMPARE(rig.prompter.texts(),
                 QStringList({"Ваш пароль неверный", "Ваш пароль неверный"}));

        rig.prompter.clear();
        dialogs.passwordRight = true;
        commands.N_Direct_component_porogClick();
        commands.MReplacePasswordClick();
        rig.parts.selection.select(1); // an empty slot: no offset dialog, no report
        commands.N_Direct_component_porogClick();
        commands.N1Click();
        QCOMPARE(dialogs.opened, QStringList({"threshold", "change"}));
        QVERIFY(rig.prompter.texts().isEmpty());
    }

    void passwordCheckIsNumeric_data()
    {
        QTest::addColumn<int>("password");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("default") << 482915 << "482915" << true;
        QTest::newRow("leading zeros") << 482915 << "000482915" << true;
        QTest::newRow("empty") << 482915 << "" << false;
        QTest::newRow("letters") << 482915 << "48291x" << false;
        QTest::newRow("other number") << 482915 << "482916" << false;
        QTest::newRow("beyond 32 bits") << 482915 << "4295450211" << false; // 2^32 + 482915
        QTest::newRow("zero password, zeros typed") << 0 << "000" << true;
        QTest::newRow("zero password, empty") << 0 << "" << false;
    }
    void passwordCheckIsNumeric()
    {
        QFETCH(int, password);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        Rig rig;
        rig.parts.hardware.password = password;
        QCOMPARE(passwordAccepted(rig.parts.hardware, typed), accepted);
    }

    void newPasswordRules_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("result"); // -1 = refused
        QTest::newRow("six digits") << "123456" << "123456" << 123456;
        QTest::newRow("zero") << "0" << "0" << 0;
        QTest::newRow("largest") << "999999" << "999999" << 999999;
        QTest::newRow("leading zeros") << "0042" << "42" << 42;
        QTest::newRow("seven digits") << "1000000" << "1000000" << -1;
        QTest::newRow("negative") << "-5" << "-5" << -1;
        QTest::newRow("different") << "123456" << "123457" << -1;
        QTest::newRow("empty") << "" << "" << -1;
        QTest::newRow("letters") << "12a" << "12a" << -1;
    }
    void newPasswordRules()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(int, result);
        Rig rig;
        rig.parts.hardware.password = 482915;
        QCOMPARE(acceptNewPassword(rig.parts.hardware, rig.parts.ctx.prompter, first, second), result >= 0);
        QCOMPARE(rig.parts.hardware.password, result >= 0 ? result : 482915);
        QCOMPARE(rig.prompter.texts(),
                 result >= 0 ? QStringList() : QStringList{"Неверно указан пароль"});
        QVERIFY(passwordAccepted(rig.parts.hardware, result >= 0 ? second : "482915"));
    }

    void singleValueSetsBothComponents_data()
    {
        QTest::addColumn<float>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<float>("expected");
        QTest::addColumn<int>("events");
        QTest::newRow("25 typed") << 0.0f << "25" << 25.0f << 1;
        QTest::newRow("minus one wraps") << 0.0f << "-1" << 65535.0f << 1;
        QTest::newRow("unchanged") << 300.0f << "300" << 300.0f << 0;
        QTest::newRow("letters keep the loaded value") << 17.9f << "ab" << 17.0f << 1;
    }
    void singleValueSetsBothComponents()
    {
        QFETCH(float, stored);
        QFETCH(QString, typed);
        QFETCH(float, expected);
        QFETCH(int, events);
        Rig rig;
        rig.occupy(2, 77, 0);
        rig.parts.table[2].thresholdDc1 = rig.parts.table[2].thresholdDc2 = stored;
        rig.parts.selection.select(3);
        ThresholdOffset dialog = rig.thresholdOffset();
        QCOMPARE(dialog.FormActivate(), ThresholdOffset::Group::Single);
        dialog.EditDirect_component_porogExit(typed);
        dialog.ButtonAcceptClick();

        const SensorRecord &r = rig.parts.table[2];
        QCOMPARE(r.pendingRequest, Request::SetDcModel0);
        QCOMPARE(r.thresholdDc1, expected);
        QCOMPARE(r.thresholdDc2, expected);
        QCOMPARE(rig.eventTexts().size(), events);
        if (events == 1)
            QCOMPARE(rig.eventTexts()[0],
                     QStringLiteral("Изменено значение постоянной состовляющей порога датчика "
                                    "<Дорван-301ДК> № 77"));
        QCOMPARE(dialog.FormActivate(), ThresholdOffset::Group::Single);
        QCOMPARE(dialog.singleText(), QString::number(int(expected)));
    }

    void flanksLogOnlyWhatChanged_data()
    {
        QTest::addColumn<QString>("flank1");
        QTest::addColumn<QString>("flank2");
        QTest::addColumn<float>("expected1");
        QTest::addColumn<float>("expected2");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<int>("refusals");
        const QString flankText = QStringLiteral(
            "Изменено значение постоянной состовляющей порога %1 фланга датчика <Дорван-302ДК> № 4711");
        QTest::newRow("nothing changed") << "1,5" << "2,25" << 1.5f << 2.25f << QStringList() << 0;
        QTest::newRow("only flank 2") << "1,5" << "7" << 1.5f << 7.0f << QStringList{flankText.arg(2)}
                                      << 0;
        QTest::newRow("both") << "12,5" << "-3,125" << 12.5f << -3.125f
                              << QStringList{flankText.arg(1), flankText.arg(2)} << 0;
        QTest::newRow("letters in flank 1") << "abc" << "2,25" << 1.5f << 2.25f << QStringList() << 1;
        QTest::newRow("decimal point refused") << "12.5" << "12,5" << 1.5f << 12.5f
                                               << QStringList{flankText.arg(2)} << 1;
        QTest::newRow("beyond single precision") << "1e39" << "2,25" << 1.5f << 2.25f
                                                 << QStringList() << 1;
    }
    void flanksLogOnlyWhatChanged()
    {
        QFETCH(QString, flank1);
        QFETCH(QString, flank2);
        QFETCH(float, expected1);
        QFETCH(float, expected2);
        QFETCH(QStringList, events);
        QFETCH(int, refusals);
        Rig rig;
        rig.occupy(0, 4711, 1);
        rig.parts.table[0].thresholdDc1 = 1.5f;
        rig.parts.table[0].thresholdDc2 = 2.25f;
        rig.parts.selection.select(1);
        ThresholdOffset dialog = rig.thresholdOffset();
        QCOMPARE(dialog.FormActivate(), ThresholdOffset::Group::Flanks);
        QCOMPARE(dialog.flankText(1), QStringLiteral("1,500"));
        QCOMPARE(dialog.flankText(2), QStringLiteral("2,250"));
        dialog.EditDirect_component_porogFlankExit(1, flank1);
        dialog.EditDirect_component_porogFlankExit(2, flank2);
        dialog.ButtonAcceptClick();

        const SensorRecord &r = rig.parts.table[0];
        QCOMPARE(r.pendingRequest, Request::SetDcModel1);
        QCOMPARE(r.thresholdDc1, expected1);
        QCOMPARE(r.thresholdDc2, expected2);
        QCOMPARE(rig.eventTexts(), events);
        QCOMPARE(rig.prompter.texts(), QStringList(qsizetype(refusals), wrongNumber));
    }

    void valuesTypedBeforeCancelAreForgotten()
    {
        Rig rig;
        rig.occupy(0, 5, 0);
        rig.parts.table[0].thresholdDc1 = 40;
        rig.parts.selection.select(1);
        ThresholdOffset dialog = rig.thresholdOffset();
        dialog.FormActivate();
        dialog.EditDirect_component_porogExit("99");
        QCOMPARE(dialog.FormActivate(), ThresholdOffset::Group::Single);
        QCOMPARE(dialog.singleText(), QStringLiteral("40"));
    }
};

QTEST_GUILESS_MAIN(TestCommands)
#include "test_commands.moc"
