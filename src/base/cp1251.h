#pragma once

#include <QByteArray>
#include <QString>

namespace dorvan {

// All stored and displayed texts of the console are single-byte Windows-1251.
QByteArray toCp1251(QStringView text);
QString fromCp1251(QByteArrayView bytes);
// True when every character of text has its own Windows-1251 byte, so that
// storing and reading it back gives the same text.
bool fitsCp1251(QStringView text);

// Decodes a zero-terminated text stored in a fixed field; never reads more
// than the field holds, terminator or not.
QString fromCp1251Field(const char *field, qsizetype fieldSize);

// Writes text into a fixed zero-terminated field, cut to fieldSize - 1 bytes;
// the rest of the field is zeroed.
void toCp1251Field(QStringView text, char *field, qsizetype fieldSize);

} // namespace dorvan
