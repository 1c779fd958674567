#pragma once

#include "events/eventrecord.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTimeZone>

namespace dorvan::uplink {

constexpr qint64 RecordSize = qint64(sizeof(EventRecord));

// Where a record lies: the day of its daily file QReport/dd.MM.yyyy and its
// number in that file, counted from 0 (its byte offset is record * 328).
struct EventPosition
{
    QDate day;
    qint64 record = 0;

    QString fileName() const;
    // The stable id of the record's messages: "08.12.2026#17".
    QString id() const { return fileName() + u'#' + QString::number(record); }
    qint64 offset() const { return record * RecordSize; }
    EventPosition next() const { return {day, record + 1}; }

    friend bool operator==(const EventPosition &, const EventPosition &) = default;
};

// A record read from a daily file, its text decoded once.
struct StampedRecord
{
    EventPosition position;
    EventRecord record;
    QString text;
};

// The stable English kind of an event code: "alarm", "fault", ...; "unknown"
// for a code the console never writes.
QString eventKind(int code);

// The loop (1 or 2) an event concerns, 0 when it concerns none or both: the
// code's own, or the one its text names.
int eventLoop(int code, const QString &text);

// The sensor's model as the text of this code names it (0 for Дорван-301ДК,
// 1 for Дорван-302ДК); -1 when it names none, or names a fixed model
// whatever the sensor is (the fault texts of the elements).
int ownModelNamedIn(int code, const QString &text);

// ISO 8601 with milliseconds and the zone's offset ("2026-12-08T14:03:27.125+03:00")
// of a day count, which holds local time; empty for a count that names no date.
QString isoTime(double dayCount, const QTimeZone &zone);

// The payload of <prefix>/<site>/event: one JSON object. model is -1 when unknown.
QByteArray eventPayload(const StampedRecord &stamped, const QString &site, int model, const QTimeZone &zone);

} // namespace dorvan::uplink
