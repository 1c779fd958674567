#pragma once

#include "events/eventcatalog.h"

#include <QString>
#include <QtGlobal>

#include <bit>
#include <cstddef>
#include <type_traits>

namespace dorvan {

// The record of every event file and of the alarm list: 328 bytes,
// little-endian, no header. The bytes that carry nothing are kept zero.
struct EventRecord
{
    quint8 recordMark = 1;
    quint8 gap1[3] = {};
    qint32 address = 0;
    double time = 0;     // day count
    quint8 code = 0;
    quint8 gap2[21] = {};
    char text[290] = {}; // Windows-1251, zero-terminated

    static EventRecord make(qint32 address, double time, quint8 code, const QString &text);
    QString textString() const;
    void setText(const QString &text);
};

static_assert(std::endian::native == std::endian::little);
static_assert(std::is_standard_layout_v<EventRecord>);
static_assert(std::is_trivially_copyable_v<EventRecord>);
static_assert(sizeof(EventRecord) == 328);
static_assert(offsetof(EventRecord, recordMark) == 0);
static_assert(offsetof(EventRecord, address) == 4);
static_assert(offsetof(EventRecord, time) == 8);
static_assert(offsetof(EventRecord, code) == 16);
static_assert(offsetof(EventRecord, text) == 38);

} // namespace dorvan
