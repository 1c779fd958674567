#pragma once

#include "base/prompter.h"
#include "events/reportpager.h"
#include "grid/widgets/gridprinter.h"

#include <QDialog>
#include <QPrinter>

#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace dorvan {

class StringGridView;

// The event report window "Протокол событий": created once, shown modally,
// kept for the whole run. The paging and filtering live in ReportPager.
class TFQReport : public QDialog
{
    Q_OBJECT

public:
    TFQReport(ReportPager &report, Prompter &prompter, QWidget *parent = nullptr);

    // Asks where to print; false when cancelled. A print dialog by default;
    // tests put a PDF file here instead.
    std::function<bool(QPrinter &)> choosePrinter;

    void BitBtnPrintClick();
    GridPrintOptions printOptions() const;
    StringGridView *grid() const { return AdvStringGrid2; }

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *makeReportGroup();
    QWidget *makeScopeGroup();
    QWidget *makePagesGroup();
    QWidget *makePrintGroup();
    QPushButton *makePageButton(const QString &name, const QString &text, const QString &hint,
                                PageButton button);
    void showState();
    void selectGridRow(int row);
    void spinTextChanged(const QString &text);
    bool choosePrinterByDialog(QPrinter &printer);

    ReportPager &report_;
    Prompter &prompter_;
    QPrinter printer_{QPrinter::HighResolution};

    StringGridView *AdvStringGrid2 = nullptr;
    QGroupBox *GroupBoxProt = nullptr;
    QLabel *StTextStr = nullptr;
    QLabel *StTextProt = nullptr;
    QLabel *StTextExport = nullptr;
    QLabel *StTextFile = nullptr; // the file on display
    QPushButton *BitBtnExport = nullptr;
    QSpinBox *CSpinEdProt = nullptr;
    QPlainTextEdit *Memo1 = nullptr;
    QCheckBox *CheckBox1 = nullptr; // date
    QCheckBox *CheckBox2 = nullptr; // time
    QCheckBox *CheckBox3 = nullptr; // page numbers
    QCheckBox *CheckBox4 = nullptr; // borders
    QCheckBox *CheckBox5 = nullptr; // fit to sheet
    QCheckBox *CheckBox6 = nullptr; // centred
    QCheckBox *CheckBox7 = nullptr; // automatic column widths
    QRadioButton *RadioButton5 = nullptr; // borders: all
    QRadioButton *RadioButton4 = nullptr; // borders: horizontal
    QRadioButton *RadioButton3 = nullptr; // borders: vertical
};

} // namespace dorvan
