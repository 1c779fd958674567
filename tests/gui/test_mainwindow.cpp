// The main window offscreen: context menu enabling, selection, the exit
// question from the close button and from Alt+X, timers and pages.

#include "console/console.h"
#include "console/widgets/fonts.h"
#include "console/widgets/mainwindow.h"
#include "console/widgets/passworddialogs.h"
#include "console/widgets/sensordialogs.h"
#include "console/widgets/thresholddialog.h"
#include "events/widgets/alarmwindow.h"
#include "console/widgets/sensorgridview.h"

#include "consolerig.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QComboBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace dorvan;
using namespace dorvan::test;

namespace {

const QString exitQuestion = QStringLiteral("Завершить работу ?");

struct Rig : ConsoleRig
{
    explicit Rig(bool portOpens = true)
    {
        line.failOpen = !portOpens;
        window = std::make_unique<TFmain>(console, dir.path());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        prompter.clear();
    }

    QStringList enabledItems()
    {
        window->PopupMenu1Popup(QPoint(5, 5));
        QStringList enabled;
        for (QAction *item : window->PopupMenu1->actions()) {
            if (!item->isSeparator() && item->isEnabled())
                enabled << item->objectName();
        }
        window->PopupMenu1->hide();
        return enabled;
    }
    QPoint cellCentre(int row, int column)
    {
        const QModelIndex index = window->StringGrid1->model()->index(row - 1, column);
        return window->StringGrid1->visualRect(index).center();
    }
    void clickCell(int row, int column)
    {
        QTest::mouseClick(window->StringGrid1->viewport(), Qt::LeftButton, {},
                          cellCentre(row, column));
    }
    QString label(const QString &name)
    {
        auto *label = window->findChild<QLabel *>(name);
        return label ? label->text() : QStringLiteral("<missing>");
    }

    std::unique_ptr<TFmain> window;
};

// The text painted at a point of a grid (in the grid's own coordinates),
// whichever of its parts lies on top there.
QString shownAt(QAbstractItemView *grid, QPoint point)
{
    QWidget *under = grid->childAt(point);
    auto *view = under ? qobject_cast<QAbstractItemView *>(under->parentWidget()) : nullptr;
    if (!view)
        return QStringLiteral("<nothing>");
    const QPoint inView = view->viewport()->mapFrom(grid, point);
    if (auto *header = qobject_cast<QHeaderView *>(view))
        return header->model()
            ->headerData(header->logicalIndexAt(inView), Qt::Horizontal)
            .toString();
    return view->indexAt(inView).data().toString();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { useWindowsFonts(); }

    void layoutAsDesigned()
    {
        Rig rig;
        TFmain &w = *rig.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Пульт контроля датчиков Дорван"));
        QCOMPARE(w.minimumSize(), QSize(687, 476));
        QCOMPARE(w.PageControl2->count(), 4);
        QCOMPARE(w.PageControl2->tabText(0), QStringLiteral("Датчики"));
        QCOMPARE(w.PageControl2->tabText(1), QStringLiteral("Протокол событий"));
        QCOMPARE(w.PageControl2->tabText(2), QStringLiteral("Диагностика"));
        QCOMPARE(w.PageControl2->tabText(3), QStringLiteral("Сигналы"));
        QCOMPARE(w.PageControl2->currentIndex(), 0);
        QCOMPARE(w.ComboBox1->count(), 70);
        QCOMPARE(w.ComboBox1->itemText(69), QStringLiteral("COM70"));
        QCOMPARE(rig.label("StatusBar1.1"), QStringLiteral("Alt+X-Выход"));
        QCOMPARE(rig.label("StatusBar1.2"), QStringLiteral("COM1 включён"));
        QCOMPARE(rig.label("Label8"), QStringLiteral("Всего датчиков = 0   "));
        QCOMPARE(rig.label("N_tr_frame"), QStringLiteral("----"));
        QCOMPARE(w.menuItems.value("N_Direct_component_porog")->text(),
                 QStringLiteral("Изменение постоянной составляющей порога "));
        QCOMPARE(w.PopupMenu1->actions().size(), 13); // nine items, four separators
    }

    // Whichever Windows font a window names, it gets the face that fits the
    // designed widths.
    void everyWindowGetsTheMetricCompatibleFace()
    {
        Rig rig;
        const QWidgetList widgets = QApplication::allWidgets();
        for (const QWidget *widget : widgets) {
            const QString family = QFontInfo(widget->font()).family();
            if (family != QStringLiteral("Liberation Sans"))
                QFAIL(qPrintable(QStringLiteral("%1 (%2 in %3) is in %4")
                                     .arg(widget->objectName(), widget->metaObject()->className(),
                                          widget->window()->objectName(), family)));
        }
    }

    void captionsFollowTheConsole()
    {
        Rig rig;
        rig.parts.captions.set("N_rv_byte", "123");
        rig.parts.captions.set("StatusBar1.3", "Скорость: 9600 Бит/сек");
        QCOMPARE(rig.label("N_rv_byte"), QStringLiteral("123"));
        QCOMPARE(rig.label("StatusBar1.3"), QStringLiteral("Скорость: 9600 Бит/сек"));
    }

    void menuBeforeAnySelectionComplains()
    {
        Rig rig;
        QCOMPARE(rig.enabledItems(), QStringList({"N1", "MReplacePassword"}));
        QCOMPARE(rig.prompter.shown.size(), 1);
        QVERIFY(rig.prompter.shown[0].text.startsWith("Выберите позицию датчика"));
        rig.window->menuItems.value("N1")->trigger(); // nothing to report: nothing happens
        QCOMPARE(rig.prompter.shown.size(), 1);
    }

    void menuFollowsTheClickedRow()
    {
        Rig rig;
        rig.parts.table.Occupy_slot(4, 77, 0, 0, 1.0);
        rig.parts.table[4].armed1 = 1;
        rig.clickCell(2, 3);
        QCOMPARE(rig.parts.selection.selectedRow(), 2);
        QCOMPARE(rig.enabledItems(), QStringList({"PEstablish", "N1", "MReplacePassword"}));
        rig.clickCell(5, 1);
        QCOMPARE(rig.parts.selection.selectedRow(), 5);
        QCOMPARE(rig.enabledItems(),
                 QStringList({"PRemove", "PSetSh2", "PRemoveSh1", "N_Direct_component_porog", "N1",
                              "MReplacePassword"}));
        rig.window->menuItems.value("PSetSh2")->trigger();
        QCOMPARE(rig.parts.table[4].armed2, quint8(1));
        QVERIFY(rig.prompter.shown.isEmpty());
    }

    void guardedCommandsGoThroughThePasswordDialog()
    {
        Rig rig;
        rig.parts.hardware.password = 482915;
        rig.parts.table.Occupy_slot(0, 12, 0, 0, 1.0);
        rig.clickCell(1, 2);
        QLineEdit *typed = rig.window->FormPassword->EditPSW;
        QTimer::singleShot(0, typed, [typed] {
            QTest::keyClicks(typed, "111");
            QTest::keyClick(typed, Qt::Key_Return);
        });
        rig.window->menuItems.value("N_Direct_component_porog")->trigger();
        QCOMPARE(rig.prompter.texts(), QStringList{"Ваш пароль неверный"});

        bool offsetShown = false;
        QTimer::singleShot(0, typed, [typed, &rig, &offsetShown] {
            QTest::keyClicks(typed, "482915");
            QTest::keyClick(typed, Qt::Key_Return);
            QTimer::singleShot(0, rig.window.get(), [&rig, &offsetShown] {
                offsetShown = rig.window->FDirect_component_porog->isVisible();
                rig.window->FDirect_component_porog->reject();
            });
        });
        rig.window->menuItems.value("N_Direct_component_porog")->trigger();
        QVERIFY(offsetShown);
        QCOMPARE(rig.prompter.texts().size(), 1);
    }

    void positionColumnIsNotSelectable()
    {
        Rig rig;
        rig.clickCell(3, 0);
        QCOMPARE(rig.parts.selection.selectedRow(), 0);
        QVERIFY(!rig.window->StringGrid1->highlightOn());
    }

    // Scrolled sideways at the window's smallest size, the grid still shows
    // the position numbers and their header at its left edge, and the first
    // scrolling column comes back beside them, not under them.
    void positionAndAddressStayInView()
    {
        Rig rig;
        rig.parts.table.Occupy_slot(2, 4711, 0, 0, 1.0);
        rig.parts.sensorCommands.Refresh_row(2);
        rig.window->resize(rig.window->minimumSize());
        SensorGridView *grid = rig.window->StringGrid1;
        const int row3 = grid->viewport()->mapTo(grid, rig.cellCentre(3, 1)).y();
        const int header = grid->horizontalHeader()->geometry().center().y();
        const int left = grid->frameWidth() + 5;
        const int besideFixed = left + grid->columnWidth(0);

        rig.clickCell(3, 1);
        QTest::keyClick(grid, Qt::Key_End);
        QCOMPARE(grid->currentIndex().column(), 11);
        QVERIFY(grid->horizontalScrollBar()->value() > 0);
        QCOMPARE(shownAt(grid, {left, header}), QStringLiteral("№ п/п"));
        QCOMPARE(shownAt(grid, {left, row3}), QStringLiteral("3"));
        QCOMPARE(shownAt(grid, {besideFixed, row3}), QStringLiteral("4711"));

        QTest::keyClick(grid, Qt::Key_Home);
        QCOMPARE(grid->currentIndex().column(), 1);
        QCOMPARE(shownAt(grid, {besideFixed, header}), QStringLiteral("Адрес"));
        QCOMPARE(shownAt(grid, {besideFixed, row3}), QStringLiteral("4711"));
        QCOMPARE(rig.parts.selection.selectedRow(), 3);
    }

    // However the grid got the focus (a page switch gives it the first
    // cell), a click selects the row it falls on.
    void clickSelectsTheRowAfterAFocusChange()
    {
        Rig rig;
        rig.window->StringGrid1->setFocus(Qt::TabFocusReason);
        rig.clickCell(1, 1);
        QCOMPARE(rig.parts.selection.selectedRow(), 1);
    }

    void keyboardSelectsBeforeTheHighlightIsOn()
    {
        Rig rig;
        SensorGridView *grid = rig.window->StringGrid1;
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QVERIFY(rig.parts.selection.selectedRow() >= 2);
        QVERIFY(!grid->highlightOn());
        QTest::keyClick(grid, Qt::Key_Home);
        QCOMPARE(grid->currentIndex().column(), 1);
        rig.clickCell(7, 4);
        QCOMPARE(rig.parts.selection.selectedRow(), 7);
        QVERIFY(grid->highlightOn());
    }

    void noToTheExitQuestionChangesNothing()
    {
        Rig rig;
        const QByteArray hwBefore = [&] {
            QFile file(rig.dir.file("data/hw.dat"));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }();
        const int eventsBefore = rig.parts.events.eventListRows();
        rig.prompter.answers = {false};
        QVERIFY(!rig.window->close());
        QCOMPARE(rig.prompter.texts(), QStringList{exitQuestion});
        QCOMPARE(rig.prompter.shown[0].caption, QStringLiteral("Выход"));
        QVERIFY(rig.window->isVisible());
        QVERIFY(!rig.console.isShutDown());
        QVERIFY(rig.parts.link.Timer2.isActive());
        QCOMPARE(rig.parts.events.eventListRows(), eventsBefore);
        QFile hw(rig.dir.file("data/hw.dat"));
        QVERIFY(hw.open(QIODevice::ReadOnly));
        QCOMPARE(hw.readAll(), hwBefore);
    }

    void yesClosesTheWindow()
    {
        Rig rig;
        rig.prompter.answers = {true};
        QVERIFY(rig.window->close());
        QVERIFY(rig.console.isShutDown());
        QTRY_VERIFY(!rig.window->isVisible());
        QTRY_VERIFY(!rig.parts.link.Timer2.isActive());
    }

    // Alt+X names the key, not the letter: with the Russian layout on, the
    // same key arrives as "Ч"; another non-Latin layout is known by the key's
    // code (53) alone.
    void altXAsksTheExitQuestion_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<quint32>("scanCode");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("asks");
        const int alt = Qt::AltModifier;
        const int che = 0x0427; // "Ч", the key() of the X key with the Russian layout
        QTest::newRow("Alt+X") << int(Qt::Key_X) << 0u << alt << true;
        QTest::newRow("Alt+Ctrl+X") << int(Qt::Key_X) << 0u << int(alt | Qt::ControlModifier) << true;
        QTest::newRow("Alt+Shift+X") << int(Qt::Key_X) << 0u << int(alt | Qt::ShiftModifier) << true;
        QTest::newRow("Alt+Ч") << che << 0u << alt << true;
        QTest::newRow("Ctrl+Alt+Ч") << che << 0u << int(alt | Qt::ControlModifier) << true;
        QTest::newRow("Shift+Alt+Ч") << che << 0u << int(alt | Qt::ShiftModifier) << true;
        QTest::newRow("Alt+Greek chi") << 0x3A7 << 53u << alt << true;
        QTest::newRow("Alt+Q of Dvorak on the X key") << int(Qt::Key_Q) << 53u << alt << false;
        QTest::newRow("X alone") << int(Qt::Key_X) << 53u << int(Qt::NoModifier) << false;
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << 53u << int(Qt::ControlModifier) << false;
        QTest::newRow("Ч alone") << che << 53u << int(Qt::NoModifier) << false;
    }
    void altXAsksTheExitQuestion()
    {
        QFETCH(int, key);
        QFETCH(quint32, scanCode);
        QFETCH(int, modifiers);
        QFETCH(bool, asks);
        Rig rig;
        rig.window->StringGrid1->setFocus();
        QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), scanCode, 0, 0);
        QApplication::sendEvent(rig.window->StringGrid1, &press);
        QCOMPARE(rig.prompter.texts(), asks ? QStringList{exitQuestion} : QStringList());
        QVERIFY(rig.window->isVisible());
        QVERIFY(!rig.console.isShutDown());
    }

    void linkTimersFollowThePort_data()
    {
        QTest::addColumn<bool>("portOpens");
        QTest::newRow("port open") << true;
        QTest::newRow("port missing") << false;
    }
    void linkTimersFollowThePort()
    {
        QFETCH(bool, portOpens);
        Rig rig(portOpens);
        QCOMPARE(rig.parts.link.Timer1.isActive(), portOpens);
        QCOMPARE(rig.parts.link.TimerRv.isActive(), portOpens);
        QVERIFY(rig.parts.link.Timer2.isActive());
        QCOMPARE(rig.parts.link.Timer1.interval(), 100);
        QCOMPARE(rig.parts.link.TimerRv.interval(), 5);
        QCOMPARE(rig.parts.link.Timer2.interval(), 1000);
        QCOMPARE(rig.label("StatusBar1.2"),
                 portOpens ? QStringLiteral("COM1 включён") : QStringLiteral("COM1 выключен"));
    }

    void portChoiceReopensThePort()
    {
        Rig rig;
        rig.window->PageControl2->setCurrentIndex(2);
        const int opensBefore = rig.line.openCount;
        QComboBox *ports = rig.window->ComboBox1;
        ports->setFocus();
        QTest::keyClick(ports, Qt::Key_Down);
        QCOMPARE(rig.parts.port.portIndex, 1);
        QCOMPARE(rig.line.openCount, opensBefore + 1);
        QCOMPARE(rig.label("StatusBar1.2"), QStringLiteral("COM2 включён"));
    }

    // An operator dialog open on the main window never keeps the operator
    // from the alarm window's all-clear.
    void alarmWindowAnswersWhileADialogIsOpen()
    {
        Rig rig;
        rig.parts.alarms.Add_alarm(EventRecord::make(1001, rig.clock.nowDays(), EventCode::Tripped,
                                                       QStringLiteral("Срабатывание 1 шлейфа")));
        TFormAlarmWindow *alarm = rig.window->FormAlarmWindow;
        QVERIFY(QTest::qWaitForWindowExposed(alarm));
        bool dialogWasModal = false;
        QTimer::singleShot(0, [&] {
            dialogWasModal = QApplication::activeModalWidget() == rig.window->FSetSensor;
            // Through the window system, where modality is enforced.
            QTest::mouseClick(alarm->windowHandle(), Qt::LeftButton, {},
                              alarm->BitBtnAllOtboy->mapTo(alarm, alarm->BitBtnAllOtboy->rect().center()));
            rig.window->FSetSensor->reject();
        });
        rig.window->FSetSensor->exec();
        QVERIFY(dialogWasModal);
        QCOMPARE(rig.parts.alarms.alarmCount(), 0);
        QVERIFY(!rig.sound.playing);
    }

    void eventPageShowsTheNewestEvent()
    {
        Rig rig;
        for (int i = 0; i < 80; ++i)
            rig.parts.events.Put_sys_msg(
                EventRecord::make(0, rig.clock.nowDays(), 20, QStringLiteral("событие %1").arg(i)));
        rig.window->PageControl2->setCurrentIndex(1);
        const QModelIndex current = rig.window->StringGrid2->currentIndex();
        QCOMPARE(current.row(), rig.window->StringGrid2->model()->rowCount() - 1);
        QCOMPARE(current.column(), 0);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_mainwindow.moc"
