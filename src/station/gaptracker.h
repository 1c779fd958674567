#pragma once

#include "station/journal.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

namespace dorvan::station {

// Which records of each post's daily files have arrived: record numbers
// are consecutive within a file, so a number beyond the next one leaves a
// gap, closed again by the missing records arriving later. The first record
// of a post's later day is measured from 0 (the day began at midnight); the
// first of an earlier day (a post's clock set back), and of a post never
// heard, only starts the count.
class GapTracker
{
public:
    struct File
    {
        int lastNumber = -1;
        QList<GapRow> missing; // runs in number order
    };

    void load(const QList<FileMark> &marks, const QList<GapRow> &gaps);

    enum class Change { None, Opened, Filled };

    // Notes an arrived record (not a duplicate): whether it left a new gap
    // before it or filled a missing one.
    Change note(const QString &site, const RecordId &id, const QDateTime &now);

    const File *file(const QString &site, const QDate &day) const;
    bool hasMissing(const QString &site) const;
    // The files noted since the last call, for the journal.
    QList<std::pair<QString, QDate>> takeChanged();

    // "#18–#25, #30" for the operator.
    static QString describe(const QList<GapRow> &missing);
    static int count(const QList<GapRow> &missing);

private:
    struct Site
    {
        QMap<QDate, File> files;
    };

    static bool fill(File &file, int number);

    QHash<QString, Site> sites_;
    QSet<std::pair<QString, QDate>> changed_;
};

} // namespace dorvan::station
