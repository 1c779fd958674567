#include "events/eventrecord.h"

#include "base/cp1251.h"
#include "grid/textgridmodel.h"

namespace dorvan {

quint32 eventFontColour(int code)
{
    if (code == 0 || code == 32)
        return Colour::Green;
    if ((code >= 2 && code <= 5) || (code >= 7 && code <= 11) || code == 33 || code == 34)
        return Colour::Red;
    if (code == 15)
        return Colour::DarkRed;
    return Colour::Black;
}

EventRecord EventRecord::make(qint32 address, double time, quint8 code, const QString &text)
{
    EventRecord record;
    record.address = address;
    record.time = time;
    record.code = code;
    record.setText(text);
    return record;
}

QString EventRecord::textString() const
{
    return fromCp1251Field(text, sizeof text);
}

void EventRecord::setText(const QString &value)
{
    toCp1251Field(value, text, sizeof text);
}

} // namespace dorvan
