#include "soakmodel.h"

#include <QRegularExpression>

#include <algorithm>

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
    Course c;
    c.model.address = address;
    c.model.model = model;
    sensors_.insert(address, Track{{c}, QString()});
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
    Track &t = *it;
    const QString faults = m.captured(4);
    // A spoilt checksum is no answer and no time-out; a reply cut short is
    // still awaited when the next request goes out: one more time-out.
    Answer answer = Answer::Answered;
    if (m.captured(2) == QLatin1String("silent"))
        answer = Answer::Silent;
    else if (faults.contains(QLatin1String("+badcrc")))
        answer = Answer::Spoilt;
    else if (faults.contains(QLatin1String("+drop")))
        answer = Answer::CutShort;
    const int status = m.captured(3).isEmpty() ? -1 : int(m.captured(3).toUInt(nullptr, 16));
    if (answer == Answer::Answered)
        part(t);
    for (Course &c : t.courses)
        step(c, answer, status);
    join(t, false);
}

void ExpectedEvents::finish()
{
    for (Track &t : sensors_) {
        part(t);
        for (Course &c : t.courses)
            endSilence(c);
        join(t, true);
    }
}

namespace {

void addStep(QString &course, const QString &step)
{
    course += (course.isEmpty() ? QString() : QStringLiteral(", ")) + step;
}

} // namespace

void ExpectedEvents::part(Track &t)
{
    QList<Course> lost;
    for (Course &c : t.courses) {
        const int misses = c.model.misses;
        if (misses <= SureNoLoss || misses >= SureLoss)
            continue;
        if (t.spell.isEmpty())
            t.spell = QStringLiteral("sensor %1: %2 requests unanswered in a row").arg(c.model.address).arg(misses);
        Course declared = c;
        addStep(declared.taken.course, QStringLiteral("link lost"));
        loseLink(declared);
        declared.model.misses = 0;
        lost.append(declared);
        addStep(c.taken.course, QStringLiteral("link kept"));
        c.model.misses = 0;
    }
    t.courses = lost + t.courses;
}

void ExpectedEvents::step(Course &c, Answer answer, int status)
{
    SensorModel &s = c.model;
    switch (answer) {
    case Answer::Silent:
    case Answer::CutShort:
        ++s.misses;
        return;
    case Answer::Spoilt:
        return;
    case Answer::Answered:
        break;
    }
    endSilence(c);
    if (!s.announced) {
        s.announced = true;
        log(c, 32, QStringLiteral("Восстановлена связь с датчиком <%1> № %2").arg(modelText(s.model)).arg(s.address));
    }
    s.misses = 0;
    if (status >= 0)
        reply(c, quint8(status));
}

void ExpectedEvents::join(Track &t, bool force)
{
    QList<Course> &courses = t.courses;
    const bool met = std::all_of(courses.cbegin(), courses.cend(),
                                 [&courses](const Course &c) { return c.model == courses.first().model; });
    if (!met && !force)
        return;
    const bool alike = std::all_of(courses.cbegin(), courses.cend(), [&courses](const Course &c) {
        return c.taken.events == courses.first().taken.events;
    });
    if (alike) {
        events_ += courses.first().taken.events;
    } else {
        Alternative alternative{t.spell, {}};
        for (const Course &c : courses)
            alternative.options.append(c.taken);
        std::stable_sort(alternative.options.begin(), alternative.options.end(),
                         [](const Option &a, const Option &b) { return a.events.size() > b.events.size(); });
        alternatives_.append(alternative);
    }
    courses.resize(1);
    courses.first().taken = Option();
    t.spell.clear();
}

void ExpectedEvents::endSilence(Course &c)
{
    if (c.model.misses >= SureLoss)
        loseLink(c);
    c.model.misses = 0;
}

void ExpectedEvents::loseLink(Course &c)
{
    SensorModel &s = c.model;
    if (s.announced) {
        s.announced = false;
        s.state = 15;
        log(c, 15, QStringLiteral("Нет связи с датчиком <%1> № %2").arg(modelText(s.model)).arg(s.address));
    }
    s.colour = SensorModel::Colour::NoLink;
    s.alarm1 = s.alarm2 = true;
}

void ExpectedEvents::reply(Course &c, quint8 status)
{
    decodeStatus(c, status);
    decodeLoop(c, 1, status & 0x80);
    decodeLoop(c, 2, status & 0x40);
}

void ExpectedEvents::decodeStatus(Course &c, quint8 status)
{
    SensorModel &s = c.model;
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
        log(c, 0, QStringLiteral("Возврат в дежурное состояние датчика <%1> № %2").arg(modelText(s.model)).arg(s.address));
    } else if (const FaultText *fault = findFault(code)) {
        s.colour = SensorModel::Colour::Alarm;
        s.state = code;
        QString text = QString::fromUtf16(fault->text).arg(s.address);
        if (code == 9)
            text = text.arg(modelText(s.model));
        log(c, code, text);
    } else {
        s.state = status;
    }
}

void ExpectedEvents::decodeLoop(Course &c, int loop, bool tripped)
{
    SensorModel &s = c.model;
    bool &alarm = loop == 1 ? s.alarm1 : s.alarm2;
    const bool armed = loop == 1 ? s.armed1 : s.armed2;
    if (!tripped) {
        if (!alarm)
            return;
        if (s.state == 0)
            s.colour = SensorModel::Colour::Normal;
        alarm = false;
        if (armed)
            log(c, 0, QStringLiteral("Возврат в норму %1 шлейфа датчика <%2> № %3").arg(loop).arg(modelText(s.model)).arg(s.address));
        return;
    }
    s.colour = SensorModel::Colour::Alarm;
    if (alarm)
        return;
    alarm = true;
    if (armed)
        log(c, 33, QStringLiteral("Срабатывание %1 шлейфа датчика <%2> № %3").arg(loop).arg(modelText(s.model)).arg(s.address));
}

void ExpectedEvents::log(Course &c, int code, const QString &text)
{
    c.taken.events.append({c.model.address, code, text});
}

namespace {

// Takes the events from the pool where it holds them; returns those it does not.
QList<Event> takeFrom(QHash<Event, int> &pool, const QList<Event> &events)
{
    QList<Event> absent;
    for (const Event &e : events) {
        int &count = pool[e];
        if (count > 0)
            --count;
        else
            absent.append(e);
    }
    return absent;
}

} // namespace

Verdict judge(const QList<Event> &certain, const QList<Alternative> &alternatives, const QList<Event> &logged)
{
    Verdict verdict;
    QHash<Event, int> pool;
    for (const Event &e : logged)
        ++pool[e];
    verdict.missing = takeFrom(pool, certain);
    for (const Alternative &alternative : alternatives) {
        // The course that leaves the fewest events unexplained: each of its
        // events absent from the files would be missing, each present one not
        // taken would be invented. On a tie, the course with more events.
        const Option *best = nullptr;
        qsizetype bestScore = 0;
        for (const Option &option : alternative.options) {
            QHash<Event, int> trial = pool;
            const qsizetype absent = takeFrom(trial, option.events).size();
            const qsizetype score = absent - (option.events.size() - absent);
            if (!best || score < bestScore) {
                best = &option;
                bestScore = score;
            }
        }
        if (!best)
            continue;
        verdict.missing += takeFrom(pool, best->events);
        verdict.courses.append(alternative.what + QStringLiteral(": ") + best->course);
    }
    for (auto it = pool.cbegin(); it != pool.cend(); ++it) {
        for (int i = 0; i < it.value(); ++i)
            verdict.invented.append(it.key());
    }
    return verdict;
}

} // namespace dorvan::soak
