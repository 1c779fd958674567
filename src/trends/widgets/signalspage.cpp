#include "trends/widgets/signalspage.h"

#include "base/prompter.h"
#include "base/workcontext.h"
#include "events/eventlog.h"
#include "sensors/sensortable.h"
#include "trends/trendaxis.h"
#include "trends/trendrecorder.h"
#include "trends/widgets/trendchart.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace dorvan {

namespace {

constexpr qint64 MinuteMs = 60 * 1000;

struct RangeChoice
{
    const char16_t *text;
    qint64 spanMs;
    int refreshMs; // how often the live range is read again
};

constexpr RangeChoice ranges[] = {
    {u"10 минут", 10 * MinuteMs, 1000},
    {u"1 час", 60 * MinuteMs, 2000},
    {u"24 часа", 24 * 60 * MinuteMs, 10000},
    {u"7 суток", 7 * 24 * 60 * MinuteMs, 60000},
};

QString percent(double value)
{
    return std::isnan(value) ? QStringLiteral("—") : decimalText(value, 1) + QStringLiteral(" %");
}

QString milliseconds(double value)
{
    return decimalText(value, 0) + QStringLiteral(" мс");
}

} // namespace

// What the page takes from its parts, in one place.

std::vector<SignalsPage::Choice> SignalsPage::sensorsOnLine() const
{
    std::vector<Choice> choices;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!p_.table.occupied(slot))
            continue;
        const SensorRecord &r = p_.table[slot];
        choices.push_back({QStringLiteral("%1: № %2, %3").arg(slot + 1).arg(r.address).arg(modelName(r.model)),
                           trendSensorKey(r.model, quint16(r.address))});
    }
    return choices;
}

qint64 SignalsPage::sensorSelectedInGrid() const
{
    const int slot = p_.selection.selectedRow() - 1;
    if (slot < 0 || slot >= SlotCount || !p_.table.occupied(slot))
        return -1;
    return trendSensorKey(p_.table[slot].model, quint16(p_.table[slot].address));
}

qint64 SignalsPage::nowMs() const
{
    return p_.work.clock.nowUtcMs();
}

QString SignalsPage::workDir() const
{
    return p_.work.workDir;
}

QString SignalsPage::eventFileOf(qint64 sensor) const
{
    return p_.work.path(EventLog::sensorEventFile(quint32(sensor & 0xFFFF), int(sensor >> 16)));
}

Prompter &SignalsPage::prompter() const
{
    return p_.prompter;
}

SignalsPage::SignalsPage(const Parts &parts, QWidget *parent)
    : QWidget(parent), p_(parts), reader_([&work = parts.work] { return TrendRecorder::storePath(work.workDir); })
{
    setObjectName(QStringLiteral("TabSheetSignals"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(3, 3, 3, 3);

    auto *bar = new QHBoxLayout;
    bar->addWidget(new QLabel(QStringLiteral("Датчик:"), this));
    sensorChoice = new QComboBox(this);
    sensorChoice->setMinimumWidth(260);
    bar->addWidget(sensorChoice);
    bar->addSpacing(16);
    bar->addWidget(new QLabel(QStringLiteral("Период:"), this));
    rangeChoice = new QComboBox(this);
    for (const RangeChoice &range : ranges)
        rangeChoice->addItem(QString::fromUtf16(range.text));
    bar->addWidget(rangeChoice);
    auto *now = new QPushButton(QStringLiteral("К текущему времени"), this);
    bar->addWidget(now);
    bar->addStretch();
    exportButton = new QPushButton(QStringLiteral("Экспорт..."), this);
    bar->addWidget(exportButton);
    layout->addLayout(bar);

    chart = new TrendChart(true, this);
    layout->addWidget(chart, 1);
    cursor_ = new QLabel(this);
    cursor_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cursor_->setWordWrap(true);
    cursor_->setMinimumHeight(cursor_->fontMetrics().height() + 4);
    layout->addWidget(cursor_);
    summary = new QLabel(this);
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    layout->addWidget(summary);
    auto *hint = new QLabel(QStringLiteral("Колесо мыши или выделение левой кнопкой: масштаб; правая кнопка: "
                                           "сдвиг. Квадраты над графиком: события датчика; серым: нет данных."),
                            this);
    hint->setWordWrap(true);
    hint->setEnabled(false);
    layout->addWidget(hint);

    connect(sensorChoice, &QComboBox::activated, this, &SignalsPage::rangeChanged);
    connect(rangeChoice, &QComboBox::activated, this, &SignalsPage::rangeChanged);
    connect(now, &QPushButton::clicked, this, &SignalsPage::rangeChanged);
    connect(exportButton, &QPushButton::clicked, this, &SignalsPage::exportShown);
    connect(chart, &TrendChart::hovered, cursor_, &QLabel::setText);
    connect(chart, &TrendChart::rangeChosen, this, [this](qint64 from, qint64 to) {
        following_ = false;
        showRange(from, to);
    });
    connect(&reader_, &TrendReader::answered, this, &SignalsPage::showAnswer);
    connect(&reader_, &TrendReader::exported, this, &SignalsPage::exportDone);
    connect(&live_, &QTimer::timeout, this, [this] {
        if (following_)
            refresh();
    });
    // The sensor list follows connections and disconnections.
    connect(&p_.table, &SensorTable::changed, this, [this](int, SensorChanges what) {
        if (isVisible() && what.testFlag(SensorChange::Connection))
            fillSensors(false);
    });
}

SignalsPage::~SignalsPage() = default;

void SignalsPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    fillSensors(true);
    rangeChanged();
}

void SignalsPage::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    live_.stop();
}

// followGrid: the sensor of the grid's selected row, when it has one;
// otherwise the one shown before stays chosen.
void SignalsPage::fillSensors(bool followGrid)
{
    const qint64 selected = followGrid ? sensorSelectedInGrid() : -1;
    const qint64 wanted = selected >= 0 ? selected : chosenSensor();
    const std::vector<Choice> choices = sensorsOnLine();
    bool same = qsizetype(choices.size()) == sensorChoice->count();
    for (qsizetype i = 0; same && i < sensorChoice->count(); ++i)
        same = sensorChoice->itemText(int(i)) == choices[size_t(i)].text;
    if (!same) {
        sensorChoice->clear();
        for (const Choice &choice : choices)
            sensorChoice->addItem(choice.text, choice.sensor);
    }
    const int index = wanted >= 0 ? sensorChoice->findData(wanted) : -1;
    sensorChoice->setCurrentIndex(std::max(0, index));
}

qint64 SignalsPage::chosenSensor() const
{
    return sensorChoice->currentIndex() < 0 ? -1 : sensorChoice->currentData().toLongLong();
}

void SignalsPage::rangeChanged()
{
    following_ = true;
    const RangeChoice &range = ranges[std::max(0, rangeChoice->currentIndex())];
    live_.start(range.refreshMs);
    refresh();
}

void SignalsPage::refresh()
{
    if (following_) {
        const qint64 now = nowMs();
        const RangeChoice &range = ranges[std::max(0, rangeChoice->currentIndex())];
        showRange(now - range.spanMs, now);
    } else {
        showRange(from_, to_);
    }
}

void SignalsPage::showRange(qint64 fromMs, qint64 toMs)
{
    from_ = fromMs;
    to_ = toMs;
    TrendQuery query;
    query.sensor = chosenSensor();
    query.fromMs = fromMs;
    query.toMs = toMs;
    query.nowMs = nowMs();
    query.columns = chart->plotColumns();
    if (query.sensor >= 0)
        query.eventFile = eventFileOf(query.sensor);
    reader_.ask(query);
}

void SignalsPage::showAnswer(const TrendAnswer &answer)
{
    chart->showView(answer.view, answer.marks);
    if (answer.query.sensor < 0)
        summary->setText(QStringLiteral("Нет подключённых датчиков."));
    else if (!answer.failure.isEmpty())
        summary->setText(QStringLiteral("Журнал сигналов недоступен: %1").arg(answer.failure));
    else
        showSummary(answer.view);
}

void SignalsPage::showSummary(const TrendView &view)
{
    const TrendSummary &s = view.summary;
    // Following the live range its last reply is now; after a zoom or pan
    // the margin is that of the range's last reply, which says when that was.
    const QString when = following_ || !view.hasLatest
                             ? QStringLiteral("сейчас")
                             : QStringLiteral("на %1").arg(QDateTime::fromMSecsSinceEpoch(view.latest.utcMs)
                                                               .toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")));
    QStringList margins;
    for (int loop = 0; loop < 2; ++loop) {
        const double at = view.hasLatest
                              ? marginPercent(loop == 0 ? view.latest.threshold1 : view.latest.threshold2,
                                              loop == 0 ? view.latest.signal1 : view.latest.signal2)
                              : std::nan("");
        margins.append(QStringLiteral("Запас Ш%1: %2 %3, наименьший за период %4.")
                           .arg(loop + 1)
                           .arg(when, percent(at), percent(s.smallestMargin[loop])));
    }
    QString replies = s.replies > 0 ? QStringLiteral("Время ответа: мин. %1, средн. %2, макс. %3; ")
                                          .arg(milliseconds(s.replyMin), milliseconds(s.replyMean),
                                               milliseconds(s.replyMax))
                                    : QString();
    replies += QStringLiteral("без ответа: %1.").arg(s.timeouts);
    if (view.fromMinutes)
        replies += QStringLiteral(" (поминутные значения)");
    summary->setText(margins.join(QStringLiteral("   ")) + u'\n' + replies);
}

void SignalsPage::exportShown()
{
    const qint64 sensor = chosenSensor();
    if (sensor < 0)
        return;
    const QString suggested =
        QDir(workDir()).filePath(QStringLiteral("signal-%1-%2-%3")
                                     .arg(sensor >> 16 == 0 ? 301 : 302)
                                     .arg(sensor & 0xFFFF)
                                     .arg(QDateTime::fromMSecsSinceEpoch(from_).toString(QStringLiteral("yyyyMMdd-HHmm"))));
    const std::optional<Prompter::SavedFile> saved =
        prompter().saveFile(suggested, {QStringLiteral("CSV (*.csv)"), QStringLiteral("JSON lines (*.jsonl)")});
    if (!saved)
        return;
    TrendQuery query;
    query.sensor = sensor;
    query.fromMs = from_;
    query.toMs = to_;
    query.nowMs = nowMs();
    exportButton->setEnabled(false); // one export at a time
    reader_.exportTo(query, saved->filter == 1 ? ExportFormat::JsonLines : ExportFormat::Csv, saved->path);
}

void SignalsPage::exportDone(const QString &path, const QString &failure)
{
    exportButton->setEnabled(true);
    if (!failure.isEmpty())
        prompter().error(QStringLiteral("Не удалось записать %1: %2").arg(QDir::toNativeSeparators(path), failure));
}

} // namespace dorvan
