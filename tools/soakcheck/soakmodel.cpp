#include "soakmodel.h"

#include <QRegularExpression>

namespace dorvan::soak {

namespace {

struct FaultText
{
    int code;
    const char16_t *text; // %1 the address, %2 the model
};

// Every fault text names a fixed model, except the EEPROM error.
constexpr FaultText faultTexts[] = {
    {2, u"Сопротивление изоляции первого чувствительного элемента датчика <Дорван-302ДК> № %1 ниже нормы"},
    {3, u"Сопротивление изоляции второго чувствительного элемента датчика <Дорван-302ДК> № %1 ниже нормы"},
    {4, u"Обрыв чувствительного элемента первого фланга датчика <Дорван-302ДК> № %1"},
    {5, u"Обрыв чувствительного элемента второго фланга датчика <Дорван-302ДК> № %1"},
    {7, u"Недопустимый разбаланс флангов датчика <Дорван-301ДК> № %1. Ёмкость 1 фл. больше ёмкости 2"},
    {8, u"Недопустимый разбаланс флангов датчика <Дорван-301ДК> № %1. Ёмкость 2 фл. больше ёмкости 1"},
    {9, u"Ошибка ППЗУ датчика <%2> № %1"},
    {10, u"Сопротивление изоляции первого ЧЭ датчика <Дорван-302ДК> № %1 ниже нормы. Обрыв первого ЧЭ"},
    {11, u"Сопротивление изоляции второго ЧЭ датчика <Дорван-302ДК> № %1 ниже нормы. Обрыв второго ЧЭ"},
};

const FaultText *findFault(int code)
{
    for (const FaultText &fault : faultTexts) {
        if (fault.code == code)
            return &fault;
    }
    return nullptr;
}

} // namespace

QString modelText(int model)
{
    return model == 0 ? QStringLiteral("Дорван-301ДК") : QStringLiteral("Дорван-302ДК");
}

void ExpectedEvents::addSensor(qint32 address, int model)
{
    SensorModel s;
    s.address = address;
    s.model = model;
    sensors_.insert(address, s);
}

void ExpectedEvents::takeLogLine(const QString &line)
{
    static const QRegularExpression request(
        QStringLiteral("^\\d+ req addr=(\\d+) .* -> (silent|ack|status 0x([0-9a-f]{2}))(.*)$"));
    const QRegularExpressionMatch m = request.match(line);
    if (!m.hasMatch())
        return;
    auto it = sensors_.find(m.captured(1).toInt());
    if (it == sensors_.end())
        return;
    SensorModel &s = *it;
    const QString faults = m.captured(4);
    if (m.captured(2) == QLatin1String("silent")) {
        ++s.misses;
        return;
    }
    // A spoilt checksum is no answer and no time-out; a reply cut short is
    // still awaited when the next request goes out: one more time-out.
    if (faults.contains(QLatin1String("+badcrc")))
        return;
    if (faults.contains(QLatin1String("+drop"))) {
        ++s.misses;
        return;
    }
    endSilence(s);
    if (!s.announced) {
        s.announced = true;
        log(s, 32, QStringLiteral("Восстановлена связь с датчиком <%1> № %2").arg(modelText(s.model)).arg(s.address));
    }
    s.misses = 0;
    if (!m.captured(3).isEmpty())
        reply(s, quint8(m.captured(3).toUInt(nullptr, 16)));
}

void ExpectedEvents::finish()
{
    for (SensorModel &s : sensors_)
        endSilence(s);
}

void ExpectedEvents::endSilence(SensorModel &s)
{
    if (s.misses >= SureLoss)
        loseLink(s);
    else if (s.misses > SureNoLoss)
        uncertain_.append(QStringLiteral("sensor %1: %2 requests unanswered in a row").arg(s.address).arg(s.misses));
    s.misses = 0;
}

void ExpectedEvents::loseLink(SensorModel &s)
{
    if (s.announced) {
        s.announced = false;
        s.state = 15;
        log(s, 15, QStringLiteral("Нет связи с датчиком <%1> № %2").arg(modelText(s.model)).arg(s.address));
    }
    s.colour = SensorModel::Colour::NoLink;
    s.alarm1 = s.alarm2 = true;
}

void ExpectedEvents::reply(SensorModel &s, quint8 status)
{
    decodeStatus(s, status);
    decodeLoop(s, 1, status & 0x80);
    decodeLoop(s, 2, status & 0x40);
}

void ExpectedEvents::decodeStatus(SensorModel &s, quint8 status)
{
    const int code = status & 0x3F;
    if (s.state == code)
        return;
    if (code == 0) {
        if (status & 0xC0) {
            // The loops report for themselves; the state is left as it was.
            if (s.colour != SensorModel::Colour::Alarm) {
                s.colour = SensorModel::Colour::Alarm;
                ((status & 0x80) ? s.alarm1 : s.alarm2) = true;
            }
            return;
        }
        s.state = 0;
        s.colour = SensorModel::Colour::Normal;
        log(s, 0, QStringLiteral("Возврат в дежурное состояние датчика <%1> № %2").arg(modelText(s.model)).arg(s.address));
    } else if (const FaultText *fault = findFault(code)) {
        s.colour = SensorModel::Colour::Alarm;
        s.state = code;
        QString text = QString::fromUtf16(fault->text).arg(s.address);
        if (code == 9)
            text = text.arg(modelText(s.model));
        log(s, code, text);
    } else {
        s.state = status;
    }
}

void ExpectedEvents::decodeLoop(SensorModel &s, int loop, bool tripped)
{
    bool &alarm = loop == 1 ? s.alarm1 : s.alarm2;
    const bool armed = loop == 1 ? s.armed1 : s.armed2;
    if (!tripped) {
        if (!alarm)
            return;
        if (s.state == 0)
            s.colour = SensorModel::Colour::Normal;
        alarm = false;
        if (armed)
            log(s, 0, QStringLiteral("Возврат в норму %1 шлейфа датчика <%2> № %3").arg(loop).arg(modelText(s.model)).arg(s.address));
        return;
    }
    s.colour = SensorModel::Colour::Alarm;
    if (alarm)
        return;
    alarm = true;
    if (armed)
        log(s, 33, QStringLiteral("Срабатывание %1 шлейфа датчика <%2> № %3").arg(loop).arg(modelText(s.model)).arg(s.address));
}

void ExpectedEvents::log(const SensorModel &s, int code, const QString &text)
{
    events_.append({s.address, code, text});
}

} // namespace dorvan::soak
