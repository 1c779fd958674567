#include "base/cp1251.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <cstring>

namespace dorvan {

QByteArray toCp1251(QStringView text)
{
    QStringEncoder encoder("windows-1251");
    return encoder.encode(text);
}

QString fromCp1251(QByteArrayView bytes)
{
    // Opening the converter costs more than decoding a record's text, and
    // an export decodes millions; one stateless decoder per thread serves all.
    thread_local QStringDecoder decoder("windows-1251", QStringConverter::Flag::Stateless);
    return decoder.decode(bytes);
}

bool fitsCp1251(QStringView text)
{
    QStringEncoder encoder("windows-1251");
    const QByteArray bytes = encoder.encode(text);
    // The round trip also catches what an encoder maps to a look-alike.
    return !encoder.hasError() && fromCp1251(bytes) == text;
}

QString fromCp1251Field(const char *field, qsizetype fieldSize)
{
    const void *zero = std::memchr(field, 0, size_t(fieldSize));
    const qsizetype length = zero ? static_cast<const char *>(zero) - field : fieldSize;
    return fromCp1251(QByteArrayView(field, length));
}

void toCp1251Field(QStringView text, char *field, qsizetype fieldSize)
{
    std::memset(field, 0, size_t(fieldSize));
    const QByteArray bytes = toCp1251(text);
    const qsizetype length = std::min(bytes.size(), fieldSize - 1);
    std::memcpy(field, bytes.constData(), size_t(length));
}

} // namespace dorvan
