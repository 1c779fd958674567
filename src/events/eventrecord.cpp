#include "events/eventrecord.h"

#include "base/cp1251.h"

namespace dorvan {

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
