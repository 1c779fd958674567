#include "station/operators.h"

namespace dorvan::station {

Operators::Operators(QString path) : path_(std::move(path)) {}
bool Operators::add(const QString &, const QString &, QString *error) { *error = QStringLiteral("not yet"); return false; }
bool Operators::verify(const QString &, const QString &) const { return false; }
QStringList Operators::names() const { return {}; }
bool Operators::validName(const QString &name) { return !name.isEmpty(); }
QList<Operators::Entry> Operators::read(QString *) const { return {}; }

} // namespace dorvan::station
