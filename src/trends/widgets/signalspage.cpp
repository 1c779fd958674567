#include "trends/widgets/signalspage.h"

#include "base/log.h"
#include "base/prompter.h"
#include "base/workcontext.h"
#include "events/eventlog.h"
#include "sensors/sensortable.h"
#include "trends/trendrecorder.h"
#include "trends/trendexport.h"
#include "trends/widgets/trendchart.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
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
    return std::isnan(value) ? QStringLiteral("—")
                             : QString::number(value, 'f', 1).replace(u'.', u',') + QStringLiteral(" %");
}

QString milliseconds(double value)
{
    return QString::number(value, 'f', 0) + QStringLiteral(" мс");
}

} // namespace

SignalsPage::SignalsPage(const Parts &parts, QWidget *parent) : QWidget(parent), p_(parts)
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
    cursor_->setMinimumHeight(cursor_->fontMetrics().height() + 4);
    layout->addWidget(cursor_);
    summary_ = new QLabel(this);
    summary_->setTextFormat(Qt::PlainText);
    layout->addWidget(summary_);
    auto *hint = new QLabel(QStringLiteral("Колесо мыши или выделение левой кнопкой: масштаб; правая кнопка: "
                                           "сдвиг. Квадраты над графиком: события датчика."),
                            this);
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
    connect(&live_, &QTimer::timeout, this, [this] {
        if (following_)
            refresh();
    });
    // The sensor list follows connections and disconnections.
    connect(&p_.table, &SensorTable::changed, this, [this](int, SensorChanges what) {
        if (isVisible() && what.testFlag(SensorChange::Connection))
            fillSensors();
    });
}

SignalsPage::~SignalsPage() = default;

void SignalsPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    fillSensors();
    rangeChanged();
}

void SignalsPage::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    live_.stop();
}

void SignalsPage::fillSensors()
{
    const qint64 chosen = chosenSensor();
    QStringList texts;
    QList<qint64> keys;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!p_.table.occupied(slot))
            continue;
        const SensorRecord &r = p_.table[slot];
        texts.append(QStringLiteral("%1: № %2, %3").arg(slot + 1).arg(r.address).arg(modelName(r.model)));
        keys.append(trendSensorKey(r.model, quint16(r.address)));
    }
    bool same = texts.size() == sensorChoice->count();
    for (int i = 0; same && i < texts.size(); ++i)
        same = sensorChoice->itemText(i) == texts[i];
    if (same)
        return;
    sensorChoice->clear();
    for (int i = 0; i < texts.size(); ++i)
        sensorChoice->addItem(texts[i], keys[i]);
    // The sensor of the grid's selected row first, else the one shown before.
    const int row = p_.selection.selectedRow();
    int index = chosen >= 0 ? sensorChoice->findData(chosen) : -1;
    if (row >= 1 && row <= SlotCount && p_.table.occupied(row - 1) && chosen < 0) {
        const SensorRecord &r = p_.table[row - 1];
        index = sensorChoice->findData(trendSensorKey(r.model, quint16(r.address)));
    }
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
    const qint64 now = p_.work.clock.now().toMSecsSinceEpoch();
    if (following_) {
        const RangeChoice &range = ranges[std::max(0, rangeChoice->currentIndex())];
        showRange(now - range.spanMs, now);
    } else {
        showRange(from_, to_);
    }
}

TrendStore *SignalsPage::store()
{
    if (!store_)
        store_ = std::make_unique<TrendStore>(TrendRecorder::storePath(p_.work.workDir),
                                              TrendStore::Mode::ReadOnly);
    if (!store_->isOpen() && !store_->open())
        return nullptr;
    return store_.get();
}

void SignalsPage::showRange(qint64 fromMs, qint64 toMs)
{
    from_ = fromMs;
    to_ = toMs;
    QElapsedTimer took;
    took.start();
    const qint64 sensor = chosenSensor();
    const qint64 now = p_.work.clock.now().toMSecsSinceEpoch();
    TrendView view;
    view.fromMs = fromMs;
    view.toMs = toMs;
    std::vector<TrendMark> marks;
    TrendStore *trends = sensor >= 0 ? store() : nullptr;
    if (trends) {
        view = loadTrendView(*trends, sensor, fromMs, toMs, now, chart->plotColumns());
        if (trends->fault() != TrendStore::Fault::None)
            store_->close(); // opened afresh at the next refresh
        const int model = int(sensor >> 16);
        marks = marks_.within(p_.work.path(EventLog::sensorEventFile(quint32(sensor & 0xFFFF), model)),
                              fromMs, toMs);
    }
    chart->showView(view, marks);
    showSummary(view);
    if (sensor < 0)
        summary_->setText(QStringLiteral("Нет подключённых датчиков."));
    else if (!trends)
        summary_->setText(QStringLiteral("Журнал сигналов недоступен: %1").arg(store_ ? store_->errorText() : QString()));
    lastRefreshMs_ = took.elapsed();
    qCDebug(lcTrends) << "range drawn in" << lastRefreshMs_ << "ms," << view.series[0].size() << "points";
}

void SignalsPage::showSummary(const TrendView &view)
{
    const TrendSummary &s = view.summary;
    QString text;
    for (int loop = 0; loop < 2; ++loop) {
        const double now = view.hasLatest
                               ? marginPercent(loop == 0 ? view.latest.threshold1 : view.latest.threshold2,
                                               loop == 0 ? view.latest.signal1 : view.latest.signal2)
                               : std::nan("");
        text += QStringLiteral("Запас Ш%1: сейчас %2, наименьший за период %3.   ")
                    .arg(loop + 1)
                    .arg(percent(now), percent(s.smallestMargin[loop]));
    }
    if (s.replies > 0)
        text += QStringLiteral("Время ответа: мин. %1, средн. %2, макс. %3; ")
                    .arg(milliseconds(s.replyMin), milliseconds(s.replyMean), milliseconds(s.replyMax));
    text += QStringLiteral("без ответа: %1.").arg(s.timeouts);
    if (view.fromMinutes)
        text += QStringLiteral("   (поминутные значения)");
    summary_->setText(text);
}

void SignalsPage::exportShown()
{
    const qint64 sensor = chosenSensor();
    TrendStore *trends = sensor >= 0 ? store() : nullptr;
    if (!trends)
        return;
    const QString suggested =
        QDir(p_.work.workDir)
            .filePath(QStringLiteral("signal-%1-%2-%3")
                          .arg(sensor >> 16 == 0 ? 301 : 302)
                          .arg(sensor & 0xFFFF)
                          .arg(QDateTime::fromMSecsSinceEpoch(from_).toString(QStringLiteral("yyyyMMdd-HHmm"))));
    const std::optional<Prompter::SavedFile> saved = p_.prompter.saveFile(
        suggested, {QStringLiteral("CSV (*.csv)"), QStringLiteral("JSON lines (*.jsonl)")});
    if (!saved)
        return;
    const ExportFormat format = saved->filter == 1 ? ExportFormat::JsonLines : ExportFormat::Csv;
    QSaveFile file(saved->path);
    const qint64 now = p_.work.clock.now().toMSecsSinceEpoch();
    if (!file.open(QIODevice::WriteOnly)
        || !exportTrend(*trends, sensor, from_, to_, now, format, file, false) || !file.commit()) {
        p_.prompter.error(QStringLiteral("Не удалось записать %1: %2")
                                        .arg(QDir::toNativeSeparators(saved->path),
                                             trends->fault() != TrendStore::Fault::None ? trends->errorText()
                                                                                        : file.errorString()));
    }
}

} // namespace dorvan
