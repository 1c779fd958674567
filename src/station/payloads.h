#pragma once

#include "station/journal.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace dorvan::station {

// The topics a post publishes under <prefix>/<site>/.
enum class Channel { Status, Console, Event, SensorState, SensorSignal };

struct TopicParts
{
    QString site;
    Channel channel = Channel::Status;
    int address = -1; // the sensor's, for its state and signal
};

// Why a message was not taken.
enum class BadKind { Topic, Oversized, NotJson, BadField, SiteMismatch, UnknownSite };

struct BadInput
{
    BadKind kind = BadKind::Topic;
    QString reason;
};

QString badKindName(BadKind kind);

struct StatusMessage
{
    bool online = false;
    QDateTime time;          // invalid for the plain word offline
    int intervalSeconds = 0;
};

struct ConsoleMessage
{
    bool running = false;
    QString line; // running, stopped, unknown
    QDateTime lastPoll;
    QDateTime time;
};

struct EventMessage
{
    EventRow row;
    QString model; // empty: a general event, or a model no earlier event named
};

struct StateMessage
{
    bool removed = false; // an empty retained message: the sensor was disconnected
    SensorRow row;
};

// One loop's figure of the minute: the highest signal against the lowest threshold.
struct LoopSignal
{
    std::optional<double> signal;
    std::optional<double> threshold;
};

struct SignalMessage
{
    int address = 0;
    qint64 utcMs = 0;
    LoopSignal loop1, loop2;
};

using MessageBody = std::variant<StatusMessage, ConsoleMessage, EventMessage, StateMessage, SignalMessage>;

struct ParsedMessage
{
    TopicParts topic;
    MessageBody body;
};

// A received message made typed, or why not. Never throws, whatever the bytes.
struct ParseResult
{
    std::optional<ParsedMessage> message;
    BadInput bad; // when there is no message
};

constexpr qsizetype MaxPayloadBytes = 64 * 1024;

ParseResult parseMessage(const QString &topic, const QByteArray &payload, const QStringList &prefixes);
std::optional<TopicParts> parseTopic(const QString &topic, const QStringList &prefixes, QString *reason);
// dd.mm.yyyy#N; an invalid RecordId for anything else.
RecordId parseRecordId(const QString &text);

} // namespace dorvan::station
