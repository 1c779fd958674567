#include "station/widgets/shiftreport.h"

#include "station/widgets/stationuilog.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPainter>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

#include <algorithm>
#include <iterator>

namespace dorvan::station {

namespace {

QString localTime(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")) : QString();
}

QString duration(qint64 seconds)
{
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    if (hours > 0)
        return QStringLiteral("%1 ч %2 мин").arg(hours).arg(minutes, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 мин %2 с").arg(minutes).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString post(const QString &site)
{
    return site.isEmpty() ? QStringLiteral("станция") : site;
}

QString deadPostKind(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::Offline: return QStringLiteral("пост не на связи");
    case AlarmKind::Stale: return QStringLiteral("нет сообщений от поста");
    case AlarmKind::ConsoleDown: return QStringLiteral("пульт поста не работает");
    case AlarmKind::LineStopped: return QStringLiteral("линия поста остановлена");
    default: return kindName(kind);
    }
}

QString actionText(ActionKind kind)
{
    switch (kind) {
    case ActionKind::Acknowledge: return QStringLiteral("квитирование");
    case ActionKind::Shelve: return QStringLiteral("отложено");
    case ActionKind::OutOfService: return QStringLiteral("выведено из обслуживания");
    case ActionKind::ReturnToService: return QStringLiteral("возвращено в обслуживание");
    case ActionKind::EditCard: return QStringLiteral("карточка поста");
    default: return actionName(kind);
    }
}

QString shelfEnd(const ShiftShelf &shelf)
{
    if (!shelf.ended.isValid())
        return QStringLiteral("отложено до %1").arg(localTime(shelf.until));
    const QString how = shelf.how == u"unshelved" ? QStringLiteral("возвращено оператором") : QStringLiteral("срок вышел");
    return QStringLiteral("%1, %2").arg(how, localTime(shelf.ended));
}

QString outOfServiceEnd(const ShiftOutOfService &item)
{
    if (!item.ended.isValid())
        return QStringLiteral("не возвращено");
    return item.endedBy.isEmpty() ? localTime(item.ended) : QStringLiteral("%1, %2").arg(localTime(item.ended), item.endedBy);
}

QString sensorOf(const ShiftAlarm &alarm)
{
    return alarm.sensor.isEmpty() && alarm.address >= 0 ? QStringLiteral("№ %1").arg(alarm.address) : alarm.sensor;
}

// The document's text, built section by section.
class Html
{
public:
    void title(const QString &text) { html_ += QStringLiteral("<h1>%1</h1>").arg(text.toHtmlEscaped()); }
    void section(const QString &text, qsizetype count = -1)
    {
        const QString counted = count >= 0 ? QStringLiteral("%1 (%2)").arg(text).arg(count) : text;
        html_ += QStringLiteral("<h2>%1</h2>").arg(counted.toHtmlEscaped());
    }
    void paragraph(const QString &text) { html_ += QStringLiteral("<p>%1</p>").arg(text.toHtmlEscaped()); }
    void field(const QString &name, const QString &value)
    {
        html_ += QStringLiteral("<p><b>%1:</b> %2</p>").arg(name.toHtmlEscaped(), value.toHtmlEscaped());
    }
    void table(const QStringList &header)
    {
        html_ += QStringLiteral("<table width=\"100%\" border=\"1\" cellspacing=\"0\" cellpadding=\"3\" style=\"border-style: solid\"><thead><tr>");
        for (const QString &cell : header)
            html_ += QStringLiteral("<th align=\"left\">%1</th>").arg(cell.toHtmlEscaped());
        // The header is repeated at the top of every page the table runs on to.
        html_ += QStringLiteral("</tr></thead>");
    }
    void row(const QStringList &cells)
    {
        html_ += QStringLiteral("<tr>");
        for (const QString &cell : cells)
            html_ += QStringLiteral("<td>%1</td>").arg(cell.toHtmlEscaped());
        html_ += QStringLiteral("</tr>");
    }
    void endTable() { html_ += QStringLiteral("</table>"); }
    // A section of a table, or "Нет." when it has no rows.
    template<typename Item, typename Cells>
    void tableSection(const QString &name, const QList<Item> &items, const QStringList &header, Cells cells)
    {
        section(name, items.size());
        if (items.isEmpty()) {
            paragraph(QStringLiteral("Нет."));
            return;
        }
        table(header);
        for (const Item &item : items)
            row(cells(item));
        endTable();
    }
    QString text() const
    {
        return QStringLiteral("<html><head><style>h1 { font-size: 16pt; } h2 { font-size: 12pt; margin-top: 12px; }"
                              " th { background-color: #E0E0E0; }</style></head><body>%1</body></html>")
            .arg(html_);
    }

private:
    QString html_;
};

void writeHeader(Html &html, const ShiftReport &report)
{
    html.title(QStringLiteral("Отчёт о смене"));
    html.field(QStringLiteral("Станция"), report.station);
    html.field(QStringLiteral("Смена"), QStringLiteral("с %1 по %2").arg(localTime(report.from), localTime(report.to)));
    html.field(QStringLiteral("Отчёт составлен"), localTime(report.gathered));
    if (!report.error.isEmpty())
        html.field(QStringLiteral("Не всё прочитано из журнала"), report.error);
}

void writeHandover(Html &html, const ShiftReport &report)
{
    const Handover &handover = report.handover;
    html.section(QStringLiteral("Передача смены"));
    if (!handover.isHandedOver()) {
        html.paragraph(QStringLiteral("Смена ещё не сдана."));
        return;
    }
    html.field(QStringLiteral("Сдал"), QStringLiteral("%1, %2").arg(handover.outgoing, localTime(handover.to)));
    html.field(QStringLiteral("Замечания сдающего"),
               handover.outgoingRemarks.isEmpty() ? QStringLiteral("нет") : handover.outgoingRemarks);
    if (!handover.isAccepted()) {
        html.paragraph(QStringLiteral("Смена ещё не принята."));
        return;
    }
    html.field(QStringLiteral("Принял"), QStringLiteral("%1, %2").arg(handover.incoming, localTime(handover.accepted)));
    html.field(QStringLiteral("Замечания принимающего"),
               handover.incomingRemarks.isEmpty() ? QStringLiteral("нет") : handover.incomingRemarks);
}

void writeAlarms(Html &html, const ShiftReport &report)
{
    html.tableSection(QStringLiteral("Тревоги за смену"), report.raised,
                      {QStringLiteral("Время"), QStringLiteral("Пост"), QStringLiteral("Датчик"), QStringLiteral("Тревога"),
                       QStringLiteral("Состояние сейчас"), QStringLiteral("Квитировал"), QStringLiteral("Когда")},
                      [](const ShiftAlarm &alarm) {
                          return QStringList{localTime(alarm.raised), post(alarm.site), sensorOf(alarm), alarm.text,
                                             stateText(alarm.state), alarm.acknowledgedBy, localTime(alarm.acknowledgedAt)};
                      });
    html.tableSection(QStringLiteral("Квитировано за смену"), report.acknowledged,
                      {QStringLiteral("Когда"), QStringLiteral("Оператор"), QStringLiteral("Пост"), QStringLiteral("Тревога"),
                       QStringLiteral("Поднята"), QStringLiteral("Комментарий")},
                      [](const ShiftAcknowledgement &ack) {
                          const QString alarm = ack.alarm.sensor.isEmpty() ? ack.alarm.text
                                                                           : ack.alarm.sensor + QStringLiteral(": ") + ack.alarm.text;
                          return QStringList{localTime(ack.time), ack.operatorName, post(ack.alarm.site), alarm,
                                             localTime(ack.alarm.raised), ack.comment};
                      });
    html.tableSection(QStringLiteral("Открыты на конец смены"), report.openAtEnd,
                      {QStringLiteral("Поднята"), QStringLiteral("Пост"), QStringLiteral("Датчик"), QStringLiteral("Тревога"),
                       QStringLiteral("Состояние на конец смены")},
                      [](const ShiftAlarm &alarm) {
                          return QStringList{localTime(alarm.raised), post(alarm.site), sensorOf(alarm), alarm.text,
                                             stateText(alarm.stateAtEnd)};
                      });
}

void writePosts(Html &html, const ShiftReport &report)
{
    html.tableSection(QStringLiteral("Посты без связи и с остановленной работой"), report.deadPosts,
                      {QStringLiteral("Пост"), QStringLiteral("Что"), QStringLiteral("С"), QStringLiteral("До"),
                       QStringLiteral("Длительность")},
                      [](const DeadPost &dead) {
                          return QStringList{dead.site, deadPostKind(dead.kind), localTime(dead.raised),
                                             dead.alive.isValid() ? localTime(dead.alive) : QStringLiteral("продолжается"),
                                             duration(dead.seconds)};
                      });
    html.tableSection(QStringLiteral("Отложенные тревоги"), report.shelves,
                      {QStringLiteral("Что"), QStringLiteral("Кто"), QStringLiteral("Причина"), QStringLiteral("Отложено"),
                       QStringLiteral("Окончание")},
                      [](const ShiftShelf &shelf) {
                          return QStringList{shelf.what, shelf.operatorName, shelf.reason, localTime(shelf.shelved),
                                             shelfEnd(shelf)};
                      });
    html.tableSection(QStringLiteral("Выведено из обслуживания"), report.outOfService,
                      {QStringLiteral("Пост"), QStringLiteral("Что"), QStringLiteral("С"), QStringLiteral("Кто"),
                       QStringLiteral("Причина"), QStringLiteral("Возвращено")},
                      [](const ShiftOutOfService &item) {
                          const QString what = item.address < 0 ? QStringLiteral("весь пост") : item.what;
                          return QStringList{item.site, what, localTime(item.since), item.operatorName, item.reason,
                                             outOfServiceEnd(item)};
                      });
    html.tableSection(QStringLiteral("Пропуски записей"), report.gaps,
                      {QStringLiteral("Пост"), QStringLiteral("День"), QStringLiteral("Записи"), QStringLiteral("Обнаружено")},
                      [](const GapRow &gap) {
                          return QStringList{gap.site, gap.day.toString(QStringLiteral("dd.MM.yyyy")),
                                             QStringLiteral("%1–%2").arg(gap.first).arg(gap.last), localTime(gap.found)};
                      });
}

void writeOperators(Html &html, const ShiftReport &report)
{
    html.tableSection(QStringLiteral("Операторы на смене"), report.operators,
                      {QStringLiteral("Оператор"), QStringLiteral("С"), QStringLiteral("Вышел")},
                      [](const ShiftOperator &person) {
                          return QStringList{person.name, localTime(person.first), localTime(person.signedOut)};
                      });
    // The acknowledgements' comments are in their own table.
    QList<ShiftComment> comments;
    std::copy_if(report.comments.cbegin(), report.comments.cend(), std::back_inserter(comments),
                 [](const ShiftComment &comment) { return comment.kind != ActionKind::Acknowledge; });
    html.tableSection(QStringLiteral("Комментарии операторов к другим действиям"), comments,
                      {QStringLiteral("Время"), QStringLiteral("Оператор"), QStringLiteral("Действие"),
                       QStringLiteral("Комментарий")},
                      [](const ShiftComment &comment) {
                          return QStringList{localTime(comment.time), comment.operatorName, actionText(comment.kind),
                                             comment.comment};
                      });
}

void writeSignatures(Html &html, const ShiftReport &report)
{
    html.section(QStringLiteral("Подписи"));
    html.paragraph(QStringLiteral("Смену сдал: %1 ____________________").arg(report.handover.outgoing));
    html.paragraph(QStringLiteral("Смену принял: %1 ____________________").arg(report.handover.incoming));
}

void fillDocument(QTextDocument &document, const ShiftReport &report)
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPointSize(9);
    document.setDefaultFont(font);
    document.setHtml(shiftReportHtml(report));
}

} // namespace

QString shiftReportHtml(const ShiftReport &report)
{
    Html html;
    writeHeader(html, report);
    writeHandover(html, report);
    writeOperators(html, report);
    writeAlarms(html, report);
    writePosts(html, report);
    writeSignatures(html, report);
    return html.text();
}

// Laid out once on the device itself, then page by page, each numbered at its foot.
bool paintPages(const ShiftReport &report, QPagedPaintDevice &device)
{
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&device);
    fillDocument(document, report);
    const QRectF page(0, 0, device.width(), device.height());
    const qreal footer = device.logicalDpiY() * 0.3; // inches
    document.setPageSize(QSizeF(page.width(), page.height() - footer));
    const int pages = document.pageCount();
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    painter.setFont(QFont(document.defaultFont(), &device));
    for (int number = 0; number < pages; ++number) {
        if (number > 0 && !device.newPage())
            return false;
        const QRectF shown(0, number * (page.height() - footer), page.width(), page.height() - footer);
        painter.save();
        painter.translate(0, -shown.top());
        document.drawContents(&painter, shown);
        painter.restore();
        painter.drawText(QRectF(0, page.height() - footer, page.width(), footer), Qt::AlignCenter,
                         QStringLiteral("%1 из %2").arg(number + 1).arg(pages));
    }
    return painter.end();
}

bool writeShiftPdf(const ShiftReport &report, const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QStringLiteral("Файл %1 не записывается: %2").arg(path, file.errorString());
        qCWarning(lcStationUi).noquote() << "shift report not saved:" << *error;
        return false;
    }
    QPdfWriter writer(&file);
    writer.setTitle(QStringLiteral("Отчёт о смене"));
    writer.setCreator(QStringLiteral("dorvan-station"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(15, 15, 15, 12),
                                     QPageLayout::Millimeter));
    writer.setResolution(300);
    const bool painted = paintPages(report, writer);
    file.close();
    if (!painted || file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Файл %1 не записан: %2").arg(path, painted ? file.errorString() : QStringLiteral("ошибка вывода PDF"));
        qCWarning(lcStationUi).noquote() << "shift report not saved:" << *error;
        return false;
    }
    return true;
}

bool printShiftReport(const ShiftReport &report, QWidget *parent)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(QStringLiteral("Отчёт о смене"));
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Печать отчёта о смене"));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (paintPages(report, printer))
        return true;
    qCWarning(lcStationUi).noquote() << "shift report not printed on" << printer.printerName();
    return false;
}

} // namespace dorvan::station
