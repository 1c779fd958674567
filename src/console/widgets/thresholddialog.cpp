#include "console/widgets/thresholddialog.h"

#include "console/widgets/dialogkeys.h"
#include "console/widgets/fonts.h"
#include "sensors/sensortable.h"
#include "trends/widgets/recentsignalchart.h"
#include "widgets/placement.h"

#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValidator>

namespace dorvan {

namespace {

QLineEdit *valueEdit(const QString &name, QWidget *parent)
{
    auto *edit = new QLineEdit(QStringLiteral("0"), parent);
    edit->setObjectName(name);
    return edit;
}

QLabel *wrappedLabel(const QString &name, const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setWordWrap(true);
    return label;
}

// Leaving an edit for another control of the dialog counts; a message box or
// another window taking the focus for a while does not.
bool focusLeftForAControl(const QEvent *event)
{
    if (event->type() != QEvent::FocusOut)
        return false;
    const Qt::FocusReason reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

} // namespace

// The operator types at most `limit` characters, yet the edit shows a stored
// value whole: 65535, kept after a typed -1, has five digits. setMaxLength
// would cut it to 6553, and an untouched "Принять" would then store 6553 and
// send it to the sensor. An edit that would go beyond the limit is refused,
// unless it gives back the text the dialog showed.
class TypedLengthValidator final : public QValidator
{
public:
    TypedLengthValidator(int limit, QObject *parent) : QValidator(parent), limit_(limit) {}

    void show(QLineEdit *edit, const QString &text)
    {
        shown_ = text;
        edit->setText(text);
    }

    State validate(QString &input, int &) const override
    {
        return input.size() <= limit_ || input == shown_ ? Acceptable : Invalid;
    }

private:
    int limit_;
    QString shown_;
};

TFDirect_component_porog::TFDirect_component_porog(const ThresholdOffset::Parts &parts,
                                                   const WorkContext &work, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::WindowMaximizeButtonHint),
      values_(parts), selection_(parts.selection)
{
    setObjectName(QStringLiteral("FDirect_component_porog"));
    setWindowTitle(QStringLiteral("Пост. составл. порога"));
    setFont(tahomaFont(11));

    ButtonAccept = namedButton(QStringLiteral("ButtonAccept"), QStringLiteral("Принять"), this);
    ButtonCansel = namedButton(QStringLiteral("ButtonCansel"), QStringLiteral("Отмена"), this);
    ButtonCansel->setAutoDefault(false);
    connect(ButtonAccept, &QPushButton::clicked, this, &TFDirect_component_porog::ButtonAcceptClick);
    connect(ButtonCansel, &QPushButton::clicked, this, &QDialog::reject);

    // The controls keep their column; the sensor's last minutes of signal
    // against threshold stand beside them.
    auto *controls = new QWidget(this);
    controls->setFixedWidth(297);
    auto *layout = new QVBoxLayout(controls);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildSingleGroup());
    layout->addWidget(buildFlankGroup());
    layout->addStretch();
    layout->addLayout(buttonRow(ButtonAccept, ButtonCansel));
    recentSignals = new RecentSignalChart(parts.table, work, this);
    auto *outer = new QHBoxLayout(this);
    outer->addWidget(controls);
    outer->addWidget(recentSignals, 1);
    resize(297 + 380, 373);
}

QWidget *TFDirect_component_porog::buildSingleGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Дорван-301ДК"), this);
    LabelDirect_component_porog = wrappedLabel(QStringLiteral("LabelDirect_component_porog"),
                                               QStringLiteral("Постоянная составляющая порога"),
                                               group);
    EditDirect_component_porog = valueEdit(QStringLiteral("EditDirect_component_porog"), group);
    singleLimit_ = new TypedLengthValidator(4, EditDirect_component_porog);
    EditDirect_component_porog->setValidator(singleLimit_);
    EditDirect_component_porog->installEventFilter(this);
    auto *layout = new QVBoxLayout(group);
    layout->addWidget(LabelDirect_component_porog);
    layout->addWidget(EditDirect_component_porog);
    return group;
}

QWidget *TFDirect_component_porog::buildFlankGroup()
{
    auto *group = new QGroupBox(QStringLiteral("Дорван-302ДК"), this);
    LabelDirect_component_porog1 =
        wrappedLabel(QStringLiteral("LabelDirect_component_porog1"),
                     QStringLiteral("Постоянная составляющая порога первого фланга"), group);
    EditDirect_component_porog1 = valueEdit(QStringLiteral("EditDirect_component_porog1"), group);
    LabelDirect_component_porog2 =
        wrappedLabel(QStringLiteral("LabelDirect_component_porog2"),
                     QStringLiteral("Постоянная составляющая порога второго фланга"), group);
    EditDirect_component_porog2 = valueEdit(QStringLiteral("EditDirect_component_porog2"), group);
    EditDirect_component_porog1->installEventFilter(this);
    EditDirect_component_porog2->installEventFilter(this);
    auto *layout = new QVBoxLayout(group);
    layout->addWidget(LabelDirect_component_porog1);
    layout->addWidget(EditDirect_component_porog1);
    layout->addWidget(LabelDirect_component_porog2);
    layout->addWidget(EditDirect_component_porog2);
    return group;
}

void TFDirect_component_porog::setSingleEnabled(bool enabled)
{
    LabelDirect_component_porog->setEnabled(enabled);
    EditDirect_component_porog->setEnabled(enabled);
}

void TFDirect_component_porog::setFlanksEnabled(bool enabled)
{
    for (QWidget *widget : {static_cast<QWidget *>(LabelDirect_component_porog1),
                            static_cast<QWidget *>(EditDirect_component_porog1),
                            static_cast<QWidget *>(LabelDirect_component_porog2),
                            static_cast<QWidget *>(EditDirect_component_porog2)})
        widget->setEnabled(enabled);
}

void TFDirect_component_porog::showEvent(QShowEvent *event)
{
    centreClearOfAlarms(*this);
    FormActivate();
    recentSignals->follow(selection_.selectedSlot());
    QDialog::showEvent(event);
}

// The edits of the group that does not fit keep whatever they showed last.
void TFDirect_component_porog::FormActivate()
{
    switch (values_.FormActivate()) {
    case ThresholdOffset::Group::Flanks:
        setSingleEnabled(false);
        setFlanksEnabled(true);
        EditDirect_component_porog1->setText(values_.flankText(1));
        EditDirect_component_porog2->setText(values_.flankText(2));
        EditDirect_component_porog1->setFocus();
        break;
    case ThresholdOffset::Group::Single:
        setSingleEnabled(true);
        setFlanksEnabled(false);
        singleLimit_->show(EditDirect_component_porog, values_.singleText());
        EditDirect_component_porog->setFocus();
        break;
    case ThresholdOffset::Group::Unchanged:
        break;
    }
}

void TFDirect_component_porog::leaveEdit(QObject *edit)
{
    if (edit == EditDirect_component_porog)
        values_.EditDirect_component_porogExit(EditDirect_component_porog->text());
    else if (edit == EditDirect_component_porog1)
        values_.EditDirect_component_porogFlankExit(1, EditDirect_component_porog1->text());
    else if (edit == EditDirect_component_porog2)
        values_.EditDirect_component_porogFlankExit(2, EditDirect_component_porog2->text());
}

bool TFDirect_component_porog::eventFilter(QObject *watched, QEvent *event)
{
    if (focusLeftForAControl(event) && isVisible())
        leaveEdit(watched);
    return QDialog::eventFilter(watched, event);
}

void TFDirect_component_porog::ButtonAcceptClick()
{
    // "Принять" pressed with Enter leaves the focus in the edit: it is left now.
    if (QWidget *focused = focusWidget(); focused && focused != ButtonAccept)
        leaveEdit(focused);
    values_.ButtonAcceptClick();
    accept();
}

} // namespace dorvan
