#pragma once

#include "grid/textgridmodel.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <span>
#include <string_view>

namespace dorvan {

// Event codes as stored in EventRecord::code. The fault codes are the
// sensor's own state codes.
namespace EventCode {
constexpr quint8 BackToNormal = 0;
constexpr quint8 InsulationLow1 = 2;
constexpr quint8 InsulationLow2 = 3;
constexpr quint8 ElementBroken1 = 4;
constexpr quint8 ElementBroken2 = 5;
constexpr quint8 Unbalance1Over2 = 7;
constexpr quint8 Unbalance2Over1 = 8;
constexpr quint8 EepromError = 9;
constexpr quint8 InsulationLowBroken1 = 10;
constexpr quint8 InsulationLowBroken2 = 11;
constexpr quint8 NoLink = 15;
constexpr quint8 Armed1 = 16;
constexpr quint8 Armed2 = 17;
constexpr quint8 Disarmed1 = 18;
constexpr quint8 Disarmed2 = 19;
constexpr quint8 Work = 20;
constexpr quint8 Reserved = 21; // written by no console; the filtered reports leave it out
constexpr quint8 Connected = 30;
constexpr quint8 Disconnected = 31;
constexpr quint8 LinkRestored = 32;
constexpr quint8 Tripped = 33;
constexpr quint8 OtherTrip = 34; // a trip code this console never writes, shown and sent as one
constexpr quint8 ThresholdChanged = 35;
} // namespace EventCode

// What an event means to the central station; eventKindName() gives the
// word the uplink sends.
enum class EventKind : quint8 {
    Unknown, Normal, Fault, LinkLost, Armed, Disarmed, System,
    Connected, Disconnected, LinkRestored, Alarm, Threshold,
};

// Every text the console writes, one per row of the catalog.
enum class EventText : quint8 {
    Standby, LoopNormal,
    InsulationLow1, InsulationLow2, ElementBroken1, ElementBroken2,
    Unbalance1Over2, Unbalance2Over1, EepromError, InsulationLowBroken1, InsulationLowBroken2,
    NoLink, Armed1, Armed2, Disarmed1, Disarmed2, WorkStart, WorkEnd, Reserved,
    Connected, Disconnected, LinkRestored, Tripped, OtherTrip, ThresholdFlank, ThresholdSensor,
};

// The loop a text concerns: none (or both), a fixed one, or the one its
// {loop} placeholder names.
enum class TextLoop : quint8 { None, First, Second, Named };

// The model a text names in its {model} placeholder: the sensor's own, or a
// fixed one whatever the sensor is (the fault texts of the element).
enum class TextModel : quint8 { None, Own, Fixed301, Fixed302 };

// One row of the catalog. Placeholders of a pattern: {loop} (1 or 2),
// {model} (modelName()), {address} (decimal), {operator} (the operator's name).
// A row without a pattern stands for a code the console never writes.
struct EventEntry
{
    EventText text;
    quint8 code;
    EventKind kind;
    TextLoop loop;
    TextModel model;
    quint32 fontColour;
    bool trendMark; // marked on the signal trends
    std::u16string_view pattern;
};

// clang-format off
inline constexpr EventEntry eventCatalog[] = {
    {EventText::Standby, EventCode::BackToNormal, EventKind::Normal, TextLoop::None, TextModel::Own, Colour::Green, false,
     u"Возврат в дежурное состояние датчика <{model}> № {address}"},
    {EventText::LoopNormal, EventCode::BackToNormal, EventKind::Normal, TextLoop::Named, TextModel::Own, Colour::Green, false,
     u"Возврат в норму {loop} шлейфа датчика <{model}> № {address}"},
    {EventText::InsulationLow1, EventCode::InsulationLow1, EventKind::Fault, TextLoop::First, TextModel::Fixed302, Colour::Red, true,
     u"Сопротивление изоляции первого чувствительного элемента датчика <{model}> № {address} ниже нормы"},
    {EventText::InsulationLow2, EventCode::InsulationLow2, EventKind::Fault, TextLoop::Second, TextModel::Fixed302, Colour::Red, true,
     u"Сопротивление изоляции второго чувствительного элемента датчика <{model}> № {address} ниже нормы"},
    {EventText::ElementBroken1, EventCode::ElementBroken1, EventKind::Fault, TextLoop::First, TextModel::Fixed302, Colour::Red, true,
     u"Обрыв чувствительного элемента первого фланга датчика <{model}> № {address}"},
    {EventText::ElementBroken2, EventCode::ElementBroken2, EventKind::Fault, TextLoop::Second, TextModel::Fixed302, Colour::Red, true,
     u"Обрыв чувствительного элемента второго фланга датчика <{model}> № {address}"},
    {EventText::Unbalance1Over2, EventCode::Unbalance1Over2, EventKind::Fault, TextLoop::First, TextModel::Fixed301, Colour::Red, true,
     u"Недопустимый разбаланс флангов датчика <{model}> № {address}. Ёмкость 1 фл. больше ёмкости 2"},
    {EventText::Unbalance2Over1, EventCode::Unbalance2Over1, EventKind::Fault, TextLoop::Second, TextModel::Fixed301, Colour::Red, true,
     u"Недопустимый разбаланс флангов датчика <{model}> № {address}. Ёмкость 2 фл. больше ёмкости 1"},
    {EventText::EepromError, EventCode::EepromError, EventKind::Fault, TextLoop::None, TextModel::Own, Colour::Red, true,
     u"Ошибка ППЗУ датчика <{model}> № {address}"},
    {EventText::InsulationLowBroken1, EventCode::InsulationLowBroken1, EventKind::Fault, TextLoop::First, TextModel::Fixed302, Colour::Red, true,
     u"Сопротивление изоляции первого ЧЭ датчика <{model}> № {address} ниже нормы. Обрыв первого ЧЭ"},
    {EventText::InsulationLowBroken2, EventCode::InsulationLowBroken2, EventKind::Fault, TextLoop::Second, TextModel::Fixed302, Colour::Red, true,
     u"Сопротивление изоляции второго ЧЭ датчика <{model}> № {address} ниже нормы. Обрыв второго ЧЭ"},
    {EventText::NoLink, EventCode::NoLink, EventKind::LinkLost, TextLoop::None, TextModel::Own, Colour::DarkRed, true,
     u"Нет связи с датчиком <{model}> № {address}"},
    {EventText::Armed1, EventCode::Armed1, EventKind::Armed, TextLoop::First, TextModel::Own, Colour::Black, false,
     u"Установка на охрану первого шлейфа датчика <{model}> № {address}"},
    {EventText::Armed2, EventCode::Armed2, EventKind::Armed, TextLoop::Second, TextModel::Own, Colour::Black, false,
     u"Установка на охрану второго шлейфа датчика <{model}> № {address}"},
    {EventText::Disarmed1, EventCode::Disarmed1, EventKind::Disarmed, TextLoop::First, TextModel::Own, Colour::Black, false,
     u"Снятие с охраны первого шлейфа датчика <{model}> № {address}"},
    {EventText::Disarmed2, EventCode::Disarmed2, EventKind::Disarmed, TextLoop::Second, TextModel::Own, Colour::Black, false,
     u"Снятие с охраны второго шлейфа датчика <{model}> № {address}"},
    {EventText::WorkStart, EventCode::Work, EventKind::System, TextLoop::None, TextModel::None, Colour::Black, false,
     u"Начало работы"},
    {EventText::WorkEnd, EventCode::Work, EventKind::System, TextLoop::None, TextModel::None, Colour::Black, false,
     u"Выход из программы"},
    {EventText::Reserved, EventCode::Reserved, EventKind::Unknown, TextLoop::None, TextModel::None, Colour::Black, false,
     u""},
    {EventText::Connected, EventCode::Connected, EventKind::Connected, TextLoop::None, TextModel::Own, Colour::Black, false,
     u"Датчик <{model}> № {address} подключён. Оператор: {operator}"},
    {EventText::Disconnected, EventCode::Disconnected, EventKind::Disconnected, TextLoop::None, TextModel::Own, Colour::Black, false,
     u"Датчик <{model}> № {address} отключён. Оператор: {operator}"},
    {EventText::LinkRestored, EventCode::LinkRestored, EventKind::LinkRestored, TextLoop::None, TextModel::Own, Colour::Green, true,
     u"Восстановлена связь с датчиком <{model}> № {address}"},
    {EventText::Tripped, EventCode::Tripped, EventKind::Alarm, TextLoop::Named, TextModel::Own, Colour::Red, true,
     u"Срабатывание {loop} шлейфа датчика <{model}> № {address}"},
    {EventText::OtherTrip, EventCode::OtherTrip, EventKind::Alarm, TextLoop::Named, TextModel::Own, Colour::Red, false,
     u""},
    {EventText::ThresholdFlank, EventCode::ThresholdChanged, EventKind::Threshold, TextLoop::Named, TextModel::Own, Colour::Black, true,
     u"Изменено значение постоянной состовляющей порога {loop} фланга датчика <{model}> № {address}"},
    {EventText::ThresholdSensor, EventCode::ThresholdChanged, EventKind::Threshold, TextLoop::None, TextModel::Own, Colour::Black, true,
     u"Изменено значение постоянной состовляющей порога датчика <{model}> № {address}"},
};
// clang-format on

constexpr std::span<const EventEntry> eventEntries()
{
    return eventCatalog;
}

constexpr const EventEntry &eventEntry(EventText text)
{
    return eventCatalog[std::size_t(text)];
}

// The first row of a code; nullptr for a code the catalog does not list.
constexpr const EventEntry *firstEntryOf(int code)
{
    for (const EventEntry &entry : eventCatalog) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

constexpr EventKind eventKindOf(int code)
{
    const EventEntry *entry = firstEntryOf(code);
    return entry ? entry->kind : EventKind::Unknown;
}

constexpr bool isFaultEvent(int code)
{
    return eventKindOf(code) == EventKind::Fault;
}

constexpr bool isListedEvent(int code)
{
    return firstEntryOf(code) != nullptr;
}

constexpr bool marksTrend(int code)
{
    const EventEntry *entry = firstEntryOf(code);
    return entry && entry->trendMark;
}

// Font colour of an event in the event list and the report.
constexpr quint32 eventFontColour(int code)
{
    const EventEntry *entry = firstEntryOf(code);
    return entry ? entry->fontColour : Colour::Black;
}

// "fault", "alarm", ...: the word the uplink sends for a kind.
const char *eventKindName(EventKind kind);

// What fills a pattern's placeholders. loop also picks the text of a code
// whose texts differ in it (0: the sensor's, 1 or 2: the loop's).
struct EventArgs
{
    int loop = 0;
    int model = 0;       // the sensor's own model, as modelName() takes it
    qint64 address = 0;
    QString operatorName = {};
};

// The text of one row, placeholders filled.
QString eventText(EventText text, const EventArgs &args = {});
// The text of a code: its row whose loop fits args.loop. Start and end of
// work share one code: they take their EventText. Empty for a code without text.
QString eventText(quint8 code, const EventArgs &args);

// What a text of the console says, read back through its row's pattern.
struct ParsedEvent
{
    EventText text;
    int loop = 0;    // 0: none or both; a fixed loop is the row's
    int model = -1;  // the model the text names, -1 for none
    bool namesOwnModel = false;
    qint64 address = 0;
    QString operatorName = {};
};

// nullopt when no row of the code has a pattern the text matches. Code 34,
// which has no text of its own, is read with the texts of code 33.
std::optional<ParsedEvent> parseEventText(int code, const QString &text);

// The loop every row of the code names, 0 when it names none or its rows differ.
int fixedLoopOf(int code);

namespace detail {

constexpr bool contains(std::u16string_view pattern, std::u16string_view part)
{
    return pattern.find(part) != std::u16string_view::npos;
}

constexpr bool rowIsConsistent(const EventEntry &entry, std::size_t index)
{
    if (std::size_t(entry.text) != index)
        return false;
    const bool placeholdersFit = contains(entry.pattern, u"{loop}") == (entry.loop == TextLoop::Named)
                                 && contains(entry.pattern, u"{model}") == (entry.model != TextModel::None);
    if (!entry.pattern.empty() && !placeholdersFit)
        return false;
    // The rows of a code agree on everything but the text and its loop.
    const EventEntry *first = firstEntryOf(entry.code);
    return first->kind == entry.kind && first->fontColour == entry.fontColour && first->trendMark == entry.trendMark;
}

constexpr bool catalogIsConsistent()
{
    for (std::size_t i = 0; i < std::size(eventCatalog); ++i) {
        if (!rowIsConsistent(eventCatalog[i], i))
            return false;
    }
    return true;
}

} // namespace detail

static_assert(detail::catalogIsConsistent(), "a catalog row is out of order or its placeholders contradict it");

} // namespace dorvan
