#include "console/widgets/mainwindow.h"

#include "base/windowplacement.h"
#include "console/console.h"
#include "console/widgets/aboutbox.h"
#include "console/widgets/fonts.h"
#include "console/widgets/passworddialogs.h"
#include "console/widgets/sensordialogs.h"
#include "console/widgets/sensorgridview.h"
#include "console/widgets/thresholddialog.h"
#include "events/widgets/alarmwindow.h"
#include "events/widgets/reportwindow.h"
#include "trends/widgets/signalspage.h"
#include "widgets/placement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>


namespace dorvan {

namespace {

// The line totals of the page "Диагностика", each with its caption on the left.
struct TotalLabel
{
    const char *name;
    const char16_t *caption;
};

constexpr TotalLabel lineTotals[] = {
    {"N_rv_byte", u"Число принятых байт ="},
    {"N_rv_frame", u"Число принятых пакетов ="},
    {"N_tr_byte", u"Число переданных байт ="},
    {"N_tr_frame", u"Число переданных пакетов ="},
    {"KS_ERR", u"Число ошибок КС = "},
    {"Label35", u"Время (мкс) = "},
    {"Label37", u"Время (мс) = "},
};

constexpr int StatusPanelWidths[] = {150, 150, 150, 150, 50};

QWidget *withMargins(QWidget *content, int margin, QWidget *parent)
{
    auto *page = new QWidget(parent);
    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(content);
    return page;
}

QWidget *bottomStrip(QPushButton *button, int height, QWidget *parent)
{
    auto *strip = new QWidget(parent);
    strip->setFixedHeight(height);
    auto *layout = new QHBoxLayout(strip);
    layout->addWidget(button);
    layout->addStretch();
    return strip;
}

} // namespace

TFmain::TFmain(Console &console, const QString &workDir, QWidget *parent)
    : QMainWindow(parent),
      console_(console),
      parts_(console.parts()),
      commands_({parts_.ctx.prompter, parts_.table, parts_.selection, parts_.sensorCommands, parts_.report}, *this)
{
    setObjectName(QStringLiteral("Fmain"));
    setWindowTitle(QStringLiteral("Пульт контроля датчиков Дорван"));
    setFont(sansSerifFont(11));
    setMinimumSize(687, 476);
    resize(1225, 846);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    connect(&parts_.captions, &Captions::changed, this, &TFmain::showCaption);

    buildMenus();
    addToolBar(static_cast<QToolBar *>(buildToolBar()));
    PageControl2 = new QTabWidget(this);
    PageControl2->setObjectName(QStringLiteral("PageControl2"));
    PageControl2->tabBar()->setFont(sansSerifFont(13, true));
    PageControl2->addTab(buildSensorPage(), QStringLiteral("Датчики"));
    PageControl2->addTab(buildEventPage(), QStringLiteral("Протокол событий"));
    PageControl2->addTab(buildDiagnosticsPage(), QStringLiteral("Диагностика"));
    PageControl2->addTab(new SignalsPage({parts_.table, parts_.selection, parts_.ctx, parts_.ctx.prompter},
                                         PageControl2),
                         QStringLiteral("Сигналы"));
    connect(PageControl2, &QTabWidget::currentChanged, this, &TFmain::PageControl2Change);
    setCentralWidget(PageControl2);
    buildStatusBar();

    console_.FormCreate(workDir);
    ComboBox1->setCurrentIndex(qBound(0, parts_.port.portIndex, ComboBox1->count() - 1));
    ComboBoxSpeedRS485->setCurrentIndex(parts_.port.speedIndex == 0 ? 0 : 1);
    console_.run();

    createForms();
    connect(&console_, &Console::quitRequested, this, &TFmain::quitOnRequest, Qt::QueuedConnection);
    qApp->installEventFilter(this);
}

TFmain::~TFmain()
{
    qApp->removeEventFilter(this);
    delete FormAlarmWindow;
}

// On a screen smaller than the window (1024x768) the window manager fits it
// to the screen: every edge, the address column, the status bar and the
// buttons stay in sight. Larger screens show it at its own size.
void TFmain::showOnScreen()
{
    if (placement::exceedsArea(screenArea(*this), frameOf(*this).size()))
        showMaximized();
    else
        show();
}

void TFmain::createForms()
{
    AboutBox = new TAboutBox(this);
    const SensorDialogParts sensorDialogs{parts_.sensorCommands, parts_.operators, parts_.ctx.prompter,
                                          parts_.selection};
    FSetSensor = new TFSetSensor(sensorDialogs, this);
    RemoveSensor = new TRemoveSensor(sensorDialogs, this);
    FQReport = new TFQReport(parts_.report, parts_.ctx.prompter, this);
    // The alarm window shows itself at each alarm that arrives. It belongs to
    // no window, so that a dialog or box open on the main window never keeps
    // the operator from giving the all-clear or disarming a loop.
    SensorCommands &sensorCommands = parts_.sensorCommands;
    FormAlarmWindow = new TFormAlarmWindow(
        parts_.alarms,
        [&sensorCommands](const QString &typedAddress, int loop) {
            sensorCommands.disarmByAddress(typedAddress, loop);
        },
        nullptr);
    FDirect_component_porog = new TFDirect_component_porog(
        {parts_.ctx.prompter, parts_.ctx.clock, parts_.table, parts_.events, parts_.selection}, parts_.ctx, this);
    FormPassword = new TFormPassword(parts_.hardware, this);
    FormChangeRassword = new TFormChangeRassword(parts_.hardware, parts_.ctx.prompter, this);
    for (QDialog *dialog : std::initializer_list<QDialog *>{
             AboutBox, FSetSensor, RemoveSensor, FQReport, FDirect_component_porog, FormPassword,
             FormChangeRassword})
        dialog->setWindowModality(Qt::WindowModal);
}

void TFmain::buildMenus()
{
    auto *about = menuBar()->addAction(QStringLiteral("О программе"));
    about->setObjectName(QStringLiteral("N2"));
    connect(about, &QAction::triggered, this, [this] { commands_.N2Click(); });

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    addMenuItem(QStringLiteral("PEstablish"), QStringLiteral("Подключить датчик"),
                &MenuCommands::PEstablishClick);
    addMenuItem(QStringLiteral("PRemove"), QStringLiteral("Отключить датчик"),
                &MenuCommands::PRemoveClick);
    PopupMenu1->addSeparator();
    addMenuItem(QStringLiteral("PSetSh1"), QStringLiteral("Взять под охрану Ш1"),
                &MenuCommands::PSetSh1Click);
    addMenuItem(QStringLiteral("PSetSh2"), QStringLiteral("Взять под охрану Ш2"),
                &MenuCommands::PSetSh2Click);
    addMenuItem(QStringLiteral("PRemoveSh1"), QStringLiteral("Снять с охраны Ш1"),
                &MenuCommands::PRemoveSh1Click);
    addMenuItem(QStringLiteral("PRemoveSh2"), QStringLiteral("Снять с охраны Ш2"),
                &MenuCommands::PRemoveSh2Click);
    PopupMenu1->addSeparator();
    addMenuItem(QStringLiteral("N_Direct_component_porog"),
                QStringLiteral("Изменение постоянной составляющей порога "),
                &MenuCommands::N_Direct_component_porogClick);
    PopupMenu1->addSeparator();
    addMenuItem(QStringLiteral("N1"), QStringLiteral("Протокол датчика"), &MenuCommands::N1Click);
    PopupMenu1->addSeparator();
    addMenuItem(QStringLiteral("MReplacePassword"), QStringLiteral("Сменить пароль"),
                &MenuCommands::MReplacePasswordClick);
}

void TFmain::addMenuItem(const QString &name, const QString &caption,
                         void (MenuCommands::*command)())
{
    QAction *item = PopupMenu1->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, [this, command] { (commands_.*command)(); });
    menuItems.insert(name, item);
}

void TFmain::PopupMenu1Popup(const QPoint &gridPoint)
{
    const MenuEnabling enabled = commands_.PopupMenu1Popup();
    menuItems[QStringLiteral("PEstablish")]->setEnabled(enabled.PEstablish);
    menuItems[QStringLiteral("PRemove")]->setEnabled(enabled.PRemove);
    menuItems[QStringLiteral("PSetSh1")]->setEnabled(enabled.PSetSh1);
    menuItems[QStringLiteral("PSetSh2")]->setEnabled(enabled.PSetSh2);
    menuItems[QStringLiteral("PRemoveSh1")]->setEnabled(enabled.PRemoveSh1);
    menuItems[QStringLiteral("PRemoveSh2")]->setEnabled(enabled.PRemoveSh2);
    menuItems[QStringLiteral("N_Direct_component_porog")]->setEnabled(
        enabled.N_Direct_component_porog);
    PopupMenu1->popup(StringGrid1->viewport()->mapToGlobal(gridPoint));
}

QLabel *TFmain::boundLabel(const QString &name, const QString &initial)
{
    auto *label = new QLabel(this);
    label->setObjectName(name);
    const QString current = parts_.captions.text(name);
    label->setText(current.isEmpty() ? initial : current);
    labels_.insert(name, label);
    return label;
}

void TFmain::showCaption(const QString &name, const QString &text)
{
    if (QLabel *label = labels_.value(name))
        label->setText(text);
}

QWidget *TFmain::buildToolBar()
{
    auto *toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("ToolBar1"));
    toolBar->setMovable(false);
    toolBar->setFixedHeight(23);
    const QFont bold = sansSerifFont(13, true);
    for (const char *name : {"Label5", "Label6"}) {
        QLabel *label = boundLabel(QString::fromLatin1(name));
        label->setFont(bold);
        toolBar->addWidget(label);
    }
    auto *gap = new QWidget(toolBar);
    gap->setFixedWidth(53);
    toolBar->addWidget(gap);
    QLabel *count = boundLabel(QStringLiteral("Label8"));
    count->setFont(bold);
    toolBar->addWidget(count);
    return toolBar;
}

QWidget *TFmain::buildSensorPage()
{
    StringGrid1 = new SensorGridView(&parts_.sensorGrid, this);
    connect(StringGrid1, &SensorGridView::rowSelected, &parts_.selection, &SensorSelection::select);
    connect(StringGrid1, &QWidget::customContextMenuRequested, this, &TFmain::PopupMenu1Popup);
    return withMargins(StringGrid1, 3, this);
}

QWidget *TFmain::buildEventPage()
{
    auto *page = new QWidget(this);
    StringGrid2 = new StringGridView(&parts_.events.list(), page);
    StringGrid2->setObjectName(QStringLiteral("StringGrid2"));
    StringGrid2->setColumnWidths({156, 789});
    StringGrid2->setFont(sansSerifFont(15));
    BitBtn1 = new QPushButton(QStringLiteral("Просмотр"), page);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    connect(BitBtn1, &QPushButton::clicked, this, &TFmain::showReport);

    auto *layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(StringGrid2);
    layout->addWidget(bottomStrip(BitBtn1, 56, page));
    return page;
}

// Switching to the event list shows its newest event.
void TFmain::PageControl2Change(int page)
{
    if (PageControl2->widget(page) != StringGrid2->parentWidget())
        return;
    const int lastRow = StringGrid2->model()->rowCount() - 1;
    if (lastRow < 0)
        return;
    const QModelIndex newest = StringGrid2->model()->index(lastRow, 0);
    StringGrid2->setCurrentIndex(newest);
    StringGrid2->scrollTo(newest);
}

QWidget *TFmain::buildPortChoice()
{
    auto *box = new QWidget(this);
    ComboBox1 = new QComboBox(box);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    for (int port = 1; port <= 70; ++port)
        ComboBox1->addItem(QStringLiteral("COM%1").arg(port));
    ComboBoxSpeedRS485 = new QComboBox(box);
    ComboBoxSpeedRS485->setObjectName(QStringLiteral("ComboBoxSpeedRS485"));
    ComboBoxSpeedRS485->addItems({QStringLiteral("19200"), QStringLiteral("9600")});
    connect(ComboBox1, &QComboBox::activated, this, [this](int index) {
        parts_.port.portIndex = index;
        parts_.link.ComboBox1Click();
    });
    connect(ComboBoxSpeedRS485, &QComboBox::activated, this, [this](int index) {
        parts_.port.speedIndex = index;
        parts_.link.ComboBox1Click();
    });

    auto *layout = new QVBoxLayout(box);
    layout->addWidget(new QLabel(QStringLiteral("Выбор СОМ-порта"), box));
    layout->addWidget(ComboBox1);
    layout->addWidget(new QLabel(QStringLiteral("Выбор скорости"), box));
    layout->addWidget(ComboBoxSpeedRS485);
    return box;
}

QWidget *TFmain::buildTotals()
{
    auto *box = new QWidget(this);
    auto *layout = new QGridLayout(box);
    int row = 0;
    for (const TotalLabel &total : lineTotals) {
        layout->addWidget(new QLabel(QString::fromUtf16(total.caption), box), row, 0);
        layout->addWidget(boundLabel(QString::fromLatin1(total.name), QStringLiteral("----")), row,
                          1);
        ++row;
    }
    layout->setColumnStretch(2, 1);
    return box;
}

QWidget *TFmain::buildDiagnosticsPage()
{
    auto *page = new QWidget(this);
    StringGridCOM = new StringGridView(&parts_.diagnosticsGrid, page);
    StringGridCOM->setObjectName(QStringLiteral("StringGridCOM"));
    StringGridCOM->setColumnWidths({64, 121, 102, 148, 143, 93, 84, 109, 97, 91});
    StringGridCOM->setRowHeight(24);
    StringGridCOM->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    Button2 = new QPushButton(QStringLiteral("Сброс"), page);
    Button2->setObjectName(QStringLiteral("Button2"));
    connect(Button2, &QPushButton::clicked, this, [this] { parts_.link.statistics().Button2Click(); });

    auto *top = new QHBoxLayout;
    top->addWidget(buildPortChoice());
    top->addWidget(buildTotals(), 1);
    auto *layout = new QVBoxLayout(page);
    layout->addLayout(top);
    layout->addWidget(StringGridCOM, 1);
    layout->addWidget(bottomStrip(Button2, 41, page));
    return page;
}

void TFmain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    for (int panel = 0; panel < 5; ++panel) {
        QLabel *label = boundLabel(Captions::panel(panel));
        label->setFixedWidth(StatusPanelWidths[panel]);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        bar->addWidget(label);
    }
}

void TFmain::closeEvent(QCloseEvent *event)
{
    if (console_.isShutDown() || askToClose())
        event->accept();
    else
        event->ignore();
}

bool TFmain::askToClose()
{
    operatorClosed_ = console_.closeQuery();
    return operatorClosed_;
}

// The X key, whatever the keyboard layout: with a Latin layout its letter,
// with the Russian one "Ч", with any other non-Latin layout the key where X
// sits on a US keyboard (X11 and evdev key code 53).
bool TFmain::isAltX(QObject *watched, QEvent *event) const
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto *press = static_cast<QKeyEvent *>(event);
    if (!(press->modifiers() & Qt::AltModifier))
        return false;
    constexpr quint32 PhysicalXKey = 53;
    // Qt names a letter key it has no constant for by its upper-case letter.
    constexpr int CyrillicChe = 0x0427; // "Ч"
    const int key = press->key();
    const bool latinLetter = key >= Qt::Key_A && key <= Qt::Key_Z;
    if (key != Qt::Key_X && key != CyrillicChe
        && (latinLetter || press->nativeScanCode() != PhysicalXKey))
        return false;
    const auto *widget = qobject_cast<QWidget *>(watched);
    return widget && widget->window() == this;
}

// Key preview: Alt+X (Shift or Ctrl may be held too) asks the exit question
// wherever the focus is in the main window.
bool TFmain::eventFilter(QObject *watched, QEvent *event)
{
    if (!isAltX(watched, event))
        return QMainWindow::eventFilter(watched, event);
    askToClose();
    return true;
}

void TFmain::quitOnRequest()
{
    // The operator who asked to leave sees what the shutdown could not save
    // before the window goes; nothing runs any more that could wait for him.
    if (operatorClosed_)
        parts_.faults.showWaitingAndWait();
    close();
    QCoreApplication::quit();
}

bool TFmain::askPassword(bool forChange)
{
    return FormPassword->ask(forChange);
}

void TFmain::showConnect()
{
    FSetSensor->exec();
}

void TFmain::showDisconnect()
{
    RemoveSensor->exec();
}

void TFmain::showThresholdOffset()
{
    FDirect_component_porog->exec();
}

void TFmain::showPasswordChange()
{
    FormChangeRassword->exec();
}

void TFmain::showReport()
{
    FQReport->exec();
}

void TFmain::showAbout()
{
    AboutBox->exec();
}

} // namespace dorvan
