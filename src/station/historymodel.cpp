#include "station/historymodel.h"

#include "station/historyexport.h"

#include <QHash>
#include <QSaveFile>

namespace dorvan::station {

QString historyKindLabel(const QString &kind)
{
    static const QHash<QString, QString> labels = {
        {QStringLiteral("unknown"), QStringLiteral("Прочее")},
        {QStringLiteral("normal"), QStringLiteral("Возврат в норму")},
        {QStringLiteral("fault"), QStringLiteral("Неисправность")},
        {QStringLiteral("link_lost"), QStringLiteral("Нет связи")},
        {QStringLiteral("armed"), QStringLiteral("Установка на охрану")},
        {QStringLiteral("disarmed"), QStringLiteral("Снятие с охраны")},
        {QStringLiteral("system"), QStringLiteral("Работа программы")},
        {QStringLiteral("connected"), QStringLiteral("Подключение датчика")},
        {QStringLiteral("disconnected"), QStringLiteral("Отключение датчика")},
        {QStringLiteral("link_restored"), QStringLiteral("Связь восстановлена")},
        {QStringLiteral("alarm"), QStringLiteral("Срабатывание")},
        {QStringLiteral("threshold"), QStringLiteral("Изменение порога")},
    };
    return labels.value(kind, kind);
}

HistoryModel::HistoryModel(QString journalPath, QObject *parent)
    : QAbstractTableModel(parent), query_(std::move(journalPath)), worker_(new QObject)
{
    thread_.setObjectName(QStringLiteral("history"));
    worker_->moveToThread(&thread_);
    thread_.start();
}

// The statement under way is interrupted (an export left is not written);
// the connection is closed on the thread that opened it.
HistoryModel::~HistoryModel()
{
    query_.interrupt();
    QMetaObject::invokeMethod(worker_, [this] { query_.close(); }, Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete worker_;
}

void HistoryModel::inWorker(std::function<void()> job)
{
    QMetaObject::invokeMethod(worker_, std::move(job), Qt::QueuedConnection);
}

void HistoryModel::reply(quint64 search, std::function<void()> apply)
{
    QMetaObject::invokeMethod(
        this,
        [this, search, apply = std::move(apply)] {
            if (search == search_)
                apply();
        },
        Qt::QueuedConnection);
}

bool HistoryModel::openQuery(QString *error)
{
    if (!opened_)
        opened_ = query_.open(error);
    return opened_;
}

void HistoryModel::search(const HistoryFilter &filter)
{
    beginResetModel();
    const quint64 search = ++search_;
    filter_ = filter;
    rows_.clear();
    last_ = {};
    more_ = false;
    fetching_ = true;
    firstPageIn_ = false;
    found_.reset();
    endResetModel();
    emit searchStarted();
    inWorker([this, search, filter] {
        QString error;
        const std::optional<HistoryPage> page = openQuery(&error) ? query_.page(filter, {}, PageRows, &error) : std::nullopt;
        reply(search, [this, page, error] { pageArrivedFor(page, error); });
        if (!page)
            return;
        // A search whose first page holds all it finds is not read again to be counted.
        const std::optional<qint64> found =
            page->more ? query_.count(filter, CountCap + 1, &error) : std::optional<qint64>(page->rows.size());
        reply(search, [this, found, error] { countedFor(found, error); });
    });
}

void HistoryModel::pageArrivedFor(const std::optional<HistoryPage> &page, const QString &error)
{
    const bool first = !firstPageIn_;
    firstPageIn_ = true;
    fetching_ = false;
    if (!page) {
        more_ = false;
        if (first)
            found_ = qint64(rows_.size()); // no count follows a failed first page
        emit failed(error);
    } else {
        more_ = page->more;
        if (!page->rows.isEmpty()) {
            last_ = page->last;
            beginInsertRows({}, int(rows_.size()), int(rows_.size() + page->rows.size() - 1));
            rows_.append(page->rows);
            endInsertRows();
        }
        emit pageArrived();
    }
    if (first && found_)
        emit searchFinished();
}

void HistoryModel::countedFor(std::optional<qint64> found, const QString &error)
{
    found_ = found.value_or(qint64(rows_.size()));
    if (found)
        emit counted(*found);
    else
        emit failed(error);
    if (firstPageIn_)
        emit searchFinished();
}

bool HistoryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && more_ && !fetching_;
}

void HistoryModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    fetching_ = true;
    const quint64 search = search_;
    inWorker([this, search, filter = filter_, after = last_] {
        QString error;
        std::optional<HistoryPage> page = openQuery(&error) ? query_.page(filter, after, PageRows, &error) : std::nullopt;
        reply(search, [this, page, error] { pageArrivedFor(page, error); });
    });
}

void HistoryModel::collect(int cap, Use use, Used done)
{
    inWorker([this, cap, filter = filter_, use = std::move(use), done = std::move(done)] {
        QList<HistoryRow> rows;
        QString error;
        bool more = true;
        HistoryCursor after;
        while (more && rows.size() < cap && openQuery(&error)) {
            const int limit = int(qMin<qsizetype>(PageRows, cap - rows.size()));
            const std::optional<HistoryPage> page = query_.page(filter, after, limit, &error);
            if (!page)
                break;
            rows.append(page->rows);
            more = page->more;
            after = page->last;
        }
        if (error.isEmpty())
            error = use(rows, more);
        QMetaObject::invokeMethod(this, [done, error] { done(error); }, Qt::QueuedConnection);
    });
}

void HistoryModel::exportTo(const QString &path, ExportFormat format, Exported done)
{
    inWorker([this, path, format, filter = filter_, done = std::move(done)] {
        QString error;
        qint64 exported = 0;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            error = QStringLiteral("не удаётся записать %1: %2").arg(path, file.errorString());
        } else if (openQuery(&error)) {
            HistoryExport out(file, format);
            if (exportHistory(query_, filter, out, &error) && !file.commit())
                error = QStringLiteral("не удаётся записать %1: %2").arg(path, file.errorString());
            exported = out.exported();
        }
        QMetaObject::invokeMethod(this, [done, exported, error] { done(exported, error); }, Qt::QueuedConnection);
    });
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString HistoryModel::cellText(const HistoryRow &row, int column)
{
    switch (column) {
    case Time: return historyTimeText(row.time);
    case Site: return row.site;
    case Kind: return historyKindLabel(row.kind);
    case Address: return row.address >= 0 ? QString::number(row.address) : QString();
    case Loop: return row.loop > 0 ? QString::number(row.loop) : QString();
    case Text: return row.text;
    case Code: return row.code >= 0 ? QString::number(row.code) : QString();
    }
    return {};
}

QStringList HistoryModel::columnTitles()
{
    return {QStringLiteral("Дата и время"), QStringLiteral("Пост"), QStringLiteral("Вид"), QStringLiteral("Датчик"),
            QStringLiteral("Шлейф"), QStringLiteral("Событие"), QStringLiteral("Код")};
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    if (role == Qt::DisplayRole)
        return cellText(rows_.at(index.row()), index.column());
    if (role == Qt::ToolTipRole && index.column() == Time)
        return QStringLiteral("Запись %1, принята станцией %2 (UTC)").arg(rows_.at(index.row()).id.text(), rows_.at(index.row()).received);
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList titles = columnTitles();
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= titles.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return titles.at(section);
}

} // namespace dorvan::station
