#pragma once

#include <QByteArray>
#include <QLatin1StringView>
#include <QStringView>

#include <cstdio>

namespace dorvan::uplink {

// Writes one flat JSON object field by field, in the order given. The
// payloads of every record are built with it: a QJsonObject costs several
// times as much, which a backlog of records feels.
class JsonWriter
{
public:
    JsonWriter() { out_.reserve(512); }

    JsonWriter &string(const char *key, QStringView value)
    {
        name(key);
        quoted(value);
        return *this;
    }
    // A value known to need no escaping.
    JsonWriter &string(const char *key, QLatin1StringView plain)
    {
        name(key);
        out_ += '"';
        out_ += QByteArrayView(plain.data(), plain.size());
        out_ += '"';
        return *this;
    }
    JsonWriter &number(const char *key, qint64 value)
    {
        name(key);
        out_ += QByteArray::number(value);
        return *this;
    }
    JsonWriter &null(const char *key)
    {
        name(key);
        out_ += "null";
        return *this;
    }
    // A string, or null when empty.
    JsonWriter &stringOrNull(const char *key, QStringView value)
    {
        return value.isEmpty() ? null(key) : string(key, value);
    }

    QByteArray finish()
    {
        out_ += '}';
        return out_;
    }

private:
    void name(const char *key)
    {
        out_ += out_.isEmpty() ? "{\"" : ",\"";
        out_ += key;
        out_ += "\":";
    }
    void quoted(QStringView value)
    {
        out_ += '"';
        for (const char c : value.toUtf8()) {
            if (c == '"' || c == '\\') {
                out_ += '\\';
                out_ += c;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out_ += escaped;
            } else {
                out_ += c;
            }
        }
        out_ += '"';
    }

    QByteArray out_;
};

} // namespace dorvan::uplink
