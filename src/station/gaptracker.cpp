#include "station/gaptracker.h"

#include <algorithm>

namespace dorvan::station {

void GapTracker::load(const QList<FileMark> &marks, const QList<GapRow> &gaps)
{
    sites_.clear();
    for (const FileMark &mark : marks)
        sites_[mark.site].files[mark.day].lastNumber = mark.lastNumber;
    for (const GapRow &gap : gaps)
        sites_[gap.site].files[gap.day].missing.append(gap);
}

GapTracker::Change GapTracker::note(const QString &site, const RecordId &id, const QDateTime &now)
{
    Site &known = sites_[site];
    changed_.insert({site, id.day});
    const auto existing = known.files.find(id.day);
    if (existing == known.files.end()) {
        const bool laterDay = !known.files.isEmpty() && id.day > known.files.lastKey();
        File &file = known.files[id.day];
        file.lastNumber = id.number;
        if (laterDay && id.number > 0) {
            file.missing.append({site, id.day, 0, id.number - 1, now});
            return Change::Opened;
        }
        return Change::None;
    }
    File &file = *existing;
    if (id.number > file.lastNumber) {
        const int expected = file.lastNumber + 1;
        file.lastNumber = id.number;
        if (id.number > expected) {
            file.missing.append({site, id.day, expected, id.number - 1, now});
            return Change::Opened;
        }
        return Change::None;
    }
    return fill(file, id.number) ? Change::Filled : Change::None;
}

bool GapTracker::fill(File &file, int number)
{
    for (qsizetype i = 0; i < file.missing.size(); ++i) {
        GapRow &gap = file.missing[i];
        if (number < gap.first || number > gap.last)
            continue;
        if (gap.first == gap.last) {
            file.missing.removeAt(i);
        } else if (number == gap.first) {
            ++gap.first;
        } else if (number == gap.last) {
            --gap.last;
        } else {
            GapRow after = gap;
            after.first = number + 1;
            gap.last = number - 1;
            file.missing.insert(i + 1, after);
        }
        return true;
    }
    return false;
}

const GapTracker::File *GapTracker::file(const QString &site, const QDate &day) const
{
    const auto known = sites_.find(site);
    if (known == sites_.end())
        return nullptr;
    const auto found = known->files.find(day);
    return found == known->files.end() ? nullptr : &*found;
}

bool GapTracker::hasMissing(const QString &site) const
{
    const auto known = sites_.find(site);
    if (known == sites_.end())
        return false;
    return std::any_of(known->files.begin(), known->files.end(), [](const File &file) { return !file.missing.isEmpty(); });
}

QList<std::pair<QString, QDate>> GapTracker::takeChanged()
{
    QList<std::pair<QString, QDate>> files(changed_.begin(), changed_.end());
    changed_.clear();
    return files;
}

QString GapTracker::describe(const QList<GapRow> &missing)
{
    constexpr int Shown = 5;
    QStringList runs;
    for (const GapRow &gap : missing.first(qMin(missing.size(), qsizetype(Shown)))) {
        runs.append(gap.first == gap.last ? QStringLiteral("#%1").arg(gap.first)
                                          : QStringLiteral("#%1–#%2").arg(gap.first).arg(gap.last));
    }
    QString text = runs.join(QStringLiteral(", "));
    if (missing.size() > Shown)
        text += QStringLiteral(" … (всего %1)").arg(count(missing));
    return text;
}

int GapTracker::count(const QList<GapRow> &missing)
{
    int total = 0;
    for (const GapRow &gap : missing)
        total += gap.last - gap.first + 1;
    return total;
}

} // namespace dorvan::station
