#include "events/widgets/reportwindow.h"

#include "grid/widgets/gridview.h"
#include "widgets/placement.h"

#include <QCheckBox>
#include <QDir>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace dorvan {

namespace {

QRadioButton *addRadio(QBoxLayout *layout, const QString &name, const QString &text, bool checked)
{
    auto *button = new QRadioButton(text);
    button->setObjectName(name);
    button->setChecked(checked);
    layout->addWidget(button);
    return button;
}

QCheckBox *makeCheck(const QString &name, const QString &text, bool checked)
{
    auto *box = new QCheckBox(text);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

template<typename Choice>
void bindChoice(QRadioButton *button, Choice &target, Choice value)
{
    QObject::connect(button, &QRadioButton::toggled, button, [&target, value](bool on) {
        if (on)
            target = value;
    });
}

} // namespace

TFQReport::TFQReport(ReportPager &report, Prompter &prompter, QWidget *parent)
    : QDialog(parent), report_(report), prompter_(prompter)
{
    setObjectName(QStringLiteral("FQReport"));
    setWindowTitle(QStringLiteral("Протокол событий"));
    setModal(true);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    setFont(font);
    resize(1025, 688);

    AdvStringGrid2 = new StringGridView(&report_.grid(), this);
    AdvStringGrid2->setObjectName(QStringLiteral("AdvStringGrid2"));
    AdvStringGrid2->setColumnWidths({166, 994});
    AdvStringGrid2->horizontalHeader()->setFixedHeight(22);
    AdvStringGrid2->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    AdvStringGrid2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    AdvStringGrid2->setSelectionBehavior(QAbstractItemView::SelectRows);
    AdvStringGrid2->setRowHeight(20);

    auto *open = new QPushButton(QStringLiteral("Открыть"));
    open->setObjectName(QStringLiteral("BitBtn1"));
    connect(open, &QPushButton::clicked, this, [this] { report_.BitBtn1Click(); });
    auto *print = new QPushButton(QStringLiteral("Печать"));
    print->setObjectName(QStringLiteral("BitBtnPrint"));
    connect(print, &QPushButton::clicked, this, &TFQReport::BitBtnPrintClick);
    BitBtnExport = new QPushButton(QStringLiteral("Экспорт"));
    BitBtnExport->setObjectName(QStringLiteral("BitBtnExport"));
    BitBtnExport->setToolTip(QStringLiteral("Все отобранные сообщения в файл CSV или JSON Lines"));
    connect(BitBtnExport, &QPushButton::clicked, this, [this] { report_.BitBtnExportClick(); });
    auto *commands = new QHBoxLayout;
    commands->addWidget(open);
    commands->addWidget(print);
    commands->addWidget(BitBtnExport);
    commands->addStretch();

    auto *pagesColumn = new QVBoxLayout;
    StTextFile = new QLabel;
    StTextFile->setObjectName(QStringLiteral("StTextFile"));
    StTextFile->setWordWrap(true);
    pagesColumn->addWidget(StTextFile);
    pagesColumn->addWidget(makePagesGroup());
    StTextProt = new QLabel;
    StTextProt->setObjectName(QStringLiteral("StTextProt"));
    StTextProt->setWordWrap(true);
    pagesColumn->addWidget(StTextProt);
    StTextExport = new QLabel;
    StTextExport->setObjectName(QStringLiteral("StTextExport"));
    StTextExport->setWordWrap(true);
    pagesColumn->addWidget(StTextExport);
    pagesColumn->addStretch();
    pagesColumn->addLayout(commands);

    auto *strip = new QHBoxLayout;
    strip->addWidget(makeReportGroup());
    strip->addWidget(makeScopeGroup());
    strip->addLayout(pagesColumn, 1);
    strip->addWidget(makePrintGroup());

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(AdvStringGrid2, 1);
    layout->addLayout(strip);

    choosePrinter = [this](QPrinter &printer) { return choosePrinterByDialog(printer); };
    connect(&report_, &ReportPager::stateChanged, this, &TFQReport::showState);
    connect(&report_, &ReportPager::rowSelected, this, &TFQReport::selectGridRow);
    showState();
}

QWidget *TFQReport::makeReportGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Отчёт"));
    group->setObjectName(QStringLiteral("GroupBox1"));
    auto *layout = new QVBoxLayout(group);
    const ReportKind kind = report_.kind;
    bindChoice(addRadio(layout, QStringLiteral("RadioButton6"), QStringLiteral("Дорван-301ДК"),
                        kind == ReportKind::Model301),
               report_.kind, ReportKind::Model301);
    bindChoice(addRadio(layout, QStringLiteral("RadioButton1"), QStringLiteral("Дорван-302ДК"),
                        kind == ReportKind::Model302),
               report_.kind, ReportKind::Model302);
    bindChoice(addRadio(layout, QStringLiteral("RadioButton2"), QStringLiteral("за сутки"),
                        kind == ReportKind::Daily),
               report_.kind, ReportKind::Daily);
    return group;
}

QWidget *TFQReport::makeScopeGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Сообщения"));
    group->setObjectName(QStringLiteral("GroupBox2"));
    auto *layout = new QVBoxLayout(group);
    const ReportScope scope = report_.scope;
    bindChoice(addRadio(layout, QStringLiteral("RadioButtonAllMess"), QStringLiteral("Все"),
                        scope == ReportScope::All),
               report_.scope, ReportScope::All);
    bindChoice(addRadio(layout, QStringLiteral("RadioButtonErr"), QStringLiteral("Тревожные"),
                        scope == ReportScope::Alarms),
               report_.scope, ReportScope::Alarms);
    bindChoice(addRadio(layout, QStringLiteral("RadioButtonNoConnect"), QStringLiteral("Потери связи"),
                        scope == ReportScope::LinkLosses),
               report_.scope, ReportScope::LinkLosses);
    return group;
}

QPushButton *TFQReport::makePageButton(const QString &name, const QString &text, const QString &hint,
                                       PageButton button)
{
    auto *push = new QPushButton(text);
    push->setObjectName(name);
    push->setToolTip(hint);
    if (button != PageButton::Go)
        push->setFixedWidth(32);
    connect(push, &QPushButton::clicked, this, [this, button] { report_.BButPrevClick(button); });
    return push;
}

QWidget *TFQReport::makePagesGroup()
{
    GroupBoxProt = new QGroupBox(QStringLiteral("Страницы"));
    GroupBoxProt->setObjectName(QStringLiteral("GroupBoxProt"));
    auto *layout = new QHBoxLayout(GroupBoxProt);
    StTextStr = new QLabel;
    StTextStr->setObjectName(QStringLiteral("StTextStr"));
    layout->addWidget(StTextStr);
    layout->addWidget(makePageButton(QStringLiteral("BButPrev"), QStringLiteral("|<"),
                                     QStringLiteral("Переход на первую страницу"), PageButton::First));
    layout->addWidget(makePageButton(QStringLiteral("BButBack"), QStringLiteral("<"),
                                     QStringLiteral("Переход на предыдущую страницу"), PageButton::Previous));
    layout->addWidget(makePageButton(QStringLiteral("BButNext"), QStringLiteral(">"),
                                     QStringLiteral("Переход на следующую страницу"), PageButton::Next));
    layout->addWidget(makePageButton(QStringLiteral("BButStep"), QStringLiteral(">|"),
                                     QStringLiteral("Переход на последнюю страницу"), PageButton::Last));
    CSpinEdProt = new QSpinBox;
    CSpinEdProt->setObjectName(QStringLiteral("CSpinEdProt"));
    CSpinEdProt->setToolTip(QStringLiteral("Задание номера страницы"));
    connect(CSpinEdProt, &QSpinBox::textChanged, this, &TFQReport::spinTextChanged);
    layout->addWidget(CSpinEdProt);
    layout->addWidget(makePageButton(QStringLiteral("BButGo"), QStringLiteral("Перейти"),
                                     QStringLiteral("Переход на заданную страницу"), PageButton::Go));
    return GroupBoxProt;
}

QWidget *TFQReport::makePrintGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Печать"));
    group->setObjectName(QStringLiteral("GroupBox3"));
    auto *layout = new QGridLayout(group);
    auto *titleLabel = new QLabel(QStringLiteral("Заголовок :"));
    titleLabel->setObjectName(QStringLiteral("Label7"));
    Memo1 = new QPlainTextEdit(QStringLiteral("Протокол событий"));
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setMaximumHeight(48);
    layout->addWidget(titleLabel, 0, 0);
    layout->addWidget(Memo1, 1, 0, 1, 3);

    CheckBox1 = makeCheck(QStringLiteral("CheckBox1"), QStringLiteral("Печать даты"), true);
    CheckBox2 = makeCheck(QStringLiteral("CheckBox2"), QStringLiteral("Печать времени"), true);
    CheckBox3 = makeCheck(QStringLiteral("CheckBox3"), QStringLiteral("Печать числа страниц"), true);
    CheckBox4 = makeCheck(QStringLiteral("CheckBox4"), QStringLiteral("Печать границ"), true);
    CheckBox6 = makeCheck(QStringLiteral("CheckBox6"), QStringLiteral("Печать по центру"), true);
    CheckBox7 = makeCheck(QStringLiteral("CheckBox7"), QStringLiteral("Авторазмер"), true);
    CheckBox5 = makeCheck(QStringLiteral("CheckBox5"), QStringLiteral("Растянуть на лист"), false);
    const QList<QCheckBox *> checks{CheckBox1, CheckBox2, CheckBox3, CheckBox4,
                                    CheckBox6, CheckBox7, CheckBox5};
    for (int i = 0; i < checks.size(); ++i)
        layout->addWidget(checks[i], 2 + i / 2, i % 2);

    auto *bordersLabel = new QLabel(QStringLiteral("Границы"));
    bordersLabel->setObjectName(QStringLiteral("Label8"));
    auto *borders = new QVBoxLayout;
    borders->addWidget(bordersLabel);
    RadioButton5 = addRadio(borders, QStringLiteral("RadioButton5"), QStringLiteral("Все"), true);
    RadioButton4 = addRadio(borders, QStringLiteral("RadioButton4"), QStringLiteral("Гор."), false);
    RadioButton3 = addRadio(borders, QStringLiteral("RadioButton3"), QStringLiteral("Верт."), false);
    layout->addLayout(borders, 2, 2, 4, 1);
    return group;
}

void TFQReport::showState()
{
    StTextStr->setText(report_.pageText());
    StTextProt->setText(report_.summaryText());
    StTextFile->setText(report_.shownFileText());
    StTextExport->setText(report_.exportText());
    BitBtnExport->setEnabled(!report_.exporting());
    GroupBoxProt->setVisible(report_.pagesVisible());
    const QSignalBlocker blocker(CSpinEdProt);
    CSpinEdProt->setRange(1, report_.spinMaximum());
    CSpinEdProt->setValue(report_.spinValue());
}

void TFQReport::spinTextChanged(const QString &text)
{
    const int value = report_.CSpinEdProtChange(text);
    if (value != CSpinEdProt->value()) {
        const QSignalBlocker blocker(CSpinEdProt);
        CSpinEdProt->setValue(value);
    }
}

void TFQReport::selectGridRow(int row)
{
    const QModelIndex index = AdvStringGrid2->model()->index(row - 1, 0);
    if (!index.isValid())
        return;
    AdvStringGrid2->setCurrentIndex(index);
    AdvStringGrid2->scrollTo(index);
}

void TFQReport::showEvent(QShowEvent *event)
{
    centreClearOfAlarms(*this);
    report_.FormActivate();
    QDialog::showEvent(event);
}

void TFQReport::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        report_.FormActivate();
    QDialog::changeEvent(event);
}

GridPrintOptions TFQReport::printOptions() const
{
    GridPrintOptions options;
    const QString title = Memo1->toPlainText();
    if (!title.isEmpty())
        options.titleLines = title.split(u'\n');
    options.printTime = CheckBox2->isChecked();
    options.printDate = CheckBox1->isChecked();
    options.printPageNumbers = CheckBox3->isChecked();
    options.borders = PrintBorders::None;
    if (CheckBox4->isChecked()) {
        if (RadioButton4->isChecked())
            options.borders = PrintBorders::Horizontal;
        else if (RadioButton3->isChecked())
            options.borders = PrintBorders::Vertical;
        else
            options.borders = PrintBorders::All;
    }
    options.fitToSheet = CheckBox5->isChecked();
    options.autoSizeColumns = CheckBox7->isChecked();
    options.centred = CheckBox6->isChecked();
    for (int column = 0; column < report_.grid().gridColumnCount(); ++column)
        options.columnWidths.append(AdvStringGrid2->columnWidth(column));
    return options;
}

bool TFQReport::choosePrinterByDialog(QPrinter &printer)
{
    printer.setCopyCount(1);
    // Without an installed printer the dialog still offers printing to a PDF file.
    if (QPrinterInfo::availablePrinterNames().isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        if (printer.outputFileName().isEmpty())
            printer.setOutputFileName(QDir::home().filePath(QStringLiteral("Протокол событий.pdf")));
    }
    QPrintDialog dialog(&printer, this);
    return dialog.exec() == QDialog::Accepted;
}

// A printer that cannot be started is named in an error box (which the
// console's prompter also logs) before the question whether printing went
// well, so that a failed print is never only implied.
void TFQReport::BitBtnPrintClick()
{
    if (!choosePrinter(printer_))
        return;
    if (printGrid(report_.grid(), printOptions(), printer_) == 0) {
        const QString file = printer_.outputFileName();
        prompter_.error(file.isEmpty()
                            ? QStringLiteral("Не удалось начать печать: принтер «%1» недоступен")
                                  .arg(printer_.printerName())
                            : QStringLiteral("Не удалось начать печать: файл «%1» не удаётся записать")
                                  .arg(QDir::toNativeSeparators(file)));
    }
    prompter_.warning(QStringLiteral("Если печать прошла успешно,нажмите на кнопку <OK>"));
}

} // namespace dorvan
