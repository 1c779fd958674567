#pragma once

#include "console/commands.h"

#include <QHash>
#include <QMainWindow>

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTabWidget;

namespace dorvan {

class Console;
struct ConsoleParts;
class SensorGridView;
class StringGridView;
class TAboutBox;
class TFDirect_component_porog;
class TFQReport;
class TFSetSensor;
class TFormAlarmWindow;
class TFormChangeRassword;
class TFormPassword;
class TRemoveSensor;

// "Пульт контроля датчиков Дорван": the sensor grid with its context menu, the
// event list, the diagnostics page, the toolbar and the status bar. Creating
// it starts the console up in the working directory and runs it; the other
// windows are created after that, each with the parts of the console it uses.
class TFmain : public QMainWindow, private OperatorDialogs
{
    Q_OBJECT

public:
    TFmain(Console &console, const QString &workDir, QWidget *parent = nullptr);
    ~TFmain() override;

    MenuCommands &commands() { return commands_; }
    // Shows the window, maximized on a screen too small for it.
    void showOnScreen();
    // Opens the context menu for the selected row at a point of the grid.
    void PopupMenu1Popup(const QPoint &gridPoint);

    SensorGridView *StringGrid1 = nullptr;
    StringGridView *StringGrid2 = nullptr;
    StringGridView *StringGridCOM = nullptr;
    QTabWidget *PageControl2 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QComboBox *ComboBoxSpeedRS485 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QHash<QString, QAction *> menuItems; // by item name: "PEstablish", ...

    TAboutBox *AboutBox = nullptr;
    TFSetSensor *FSetSensor = nullptr;
    TRemoveSensor *RemoveSensor = nullptr;
    TFQReport *FQReport = nullptr;
    TFormAlarmWindow *FormAlarmWindow = nullptr;
    TFDirect_component_porog *FDirect_component_porog = nullptr;
    TFormPassword *FormPassword = nullptr;
    TFormChangeRassword *FormChangeRassword = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // OperatorDialogs
    bool askPassword(bool forChange) override;
    void showConnect() override;
    void showDisconnect() override;
    void showThresholdOffset() override;
    void showPasswordChange() override;
    void showReport() override;
    void showAbout() override;

    void buildMenus();
    QWidget *buildToolBar();
    QWidget *buildSensorPage();
    QWidget *buildEventPage();
    QWidget *buildDiagnosticsPage();
    QWidget *buildPortChoice();
    QWidget *buildTotals();
    void buildStatusBar();
    QLabel *boundLabel(const QString &name, const QString &initial = QString());
    void addMenuItem(const QString &name, const QString &caption, void (MenuCommands::*command)());
    void createForms();
    void showCaption(const QString &name, const QString &text);
    void PageControl2Change(int page);
    void quitOnRequest();
    bool isAltX(QObject *watched, QEvent *event) const;
    // The close query; true when the operator chose to leave.
    bool askToClose();

    Console &console_;
    const ConsoleParts &parts_;
    MenuCommands commands_;
    QHash<QString, QLabel *> labels_;
    bool operatorClosed_ = false;
};

} // namespace dorvan
