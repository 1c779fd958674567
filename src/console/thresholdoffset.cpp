#include "console/thresholdoffset.h"

#include "base/clock.h"
#include "base/prompter.h"
#include "base/russian.h"
#include "events/eventcatalog.h"
#include "events/eventlog.h"
#include "sensors/sensortable.h"

#include <cmath>
#include <limits>

namespace dorvan {

namespace {

// thresholdDc1 truncated toward zero and kept in 16 bits; a value no integer
// can hold (not a number, infinite) gives 0 rather than an undefined cast.
quint16 wholeDc(float value)
{
    const double truncated = std::trunc(double(value));
    if (!std::isfinite(truncated) || std::fabs(truncated) > 9.0e15)
        return 0;
    return quint16(qint64(truncated) & 0xFFFF);
}

bool fitsSingle(double value)
{
    return std::fabs(value) <= double(std::numeric_limits<float>::max());
}

} // namespace

ThresholdOffset::ThresholdOffset(const Parts &parts) : p_(parts) {}

int ThresholdOffset::slot() const
{
    return p_.selection.selectedSlot();
}

ThresholdOffset::Group ThresholdOffset::FormActivate()
{
    if (!SensorTable::validSlot(slot()))
        return Group::Unchanged;
    const SensorRecord &r = p_.table[slot()];
    if (r.model == 1) {
        dcEntry1 = r.thresholdDc1;
        dcEntry2 = r.thresholdDc2;
        return Group::Flanks;
    }
    if (r.model == 0) {
        dcEntry = wholeDc(r.thresholdDc1);
        return Group::Single;
    }
    return Group::Unchanged;
}

QString ThresholdOffset::singleText() const
{
    return QString::number(dcEntry);
}

QString ThresholdOffset::flankText(int flank) const
{
    return ru::fixed3(flank == 1 ? dcEntry1 : dcEntry2);
}

void ThresholdOffset::refuseNumber()
{
    p_.prompter.error(QStringLiteral("Вы ввели ошибочное число; повторите ввод"));
}

void ThresholdOffset::EditDirect_component_porogExit(const QString &text)
{
    const auto number = ru::parseInt32(text);
    if (!number) {
        refuseNumber();
        return;
    }
    dcEntry = quint16(quint32(*number) & 0xFFFF);
}

// A value beyond the single-precision range is refused like a non-number:
// narrowing it would be undefined, and no sensor threshold comes near it.
void ThresholdOffset::EditDirect_component_porogFlankExit(int flank, const QString &text)
{
    const auto number = ru::parseReal(text);
    if (!number || !fitsSingle(*number)) {
        refuseNumber();
        return;
    }
    (flank == 1 ? dcEntry1 : dcEntry2) = float(*number);
}

void ThresholdOffset::logChange(int flank)
{
    const SensorRecord &r = p_.table[slot()];
    p_.events.Put_msg(EventRecord::make(qint32(r.address), p_.clock.nowDays(),
                                              EventCode::ThresholdChanged,
                                              eventText(EventCode::ThresholdChanged,
                                                        {flank, r.model, qint32(r.address)})),
                            r.model);
}

void ThresholdOffset::ButtonAcceptClick()
{
    if (!p_.table.occupied(slot()))
        return;
    SensorRecord &r = p_.table[slot()];
    // The operator's DC components make a damaged record the console's own
    // again: the next save writes it after the damaged one.
    StoredRecord &stored = p_.table.storedRecord[size_t(slot())];
    if (stored == StoredRecord::Damaged && (r.model == 0 || r.model == 1))
        stored = StoredRecord::Refounded;
    if (r.model == 1) {
        r.pendingRequest = Request::SetDcModel1;
        // != is also true when either value is not a number, as it must be.
        if (dcEntry1 != r.thresholdDc1) {
            logChange(1);
            r.thresholdDc1 = dcEntry1;
        }
        if (dcEntry2 != r.thresholdDc2) {
            logChange(2);
            r.thresholdDc2 = dcEntry2;
        }
    } else if (r.model == 0) {
        r.pendingRequest = Request::SetDcModel0;
        if (double(dcEntry) != double(r.thresholdDc1)) {
            logChange(0);
            r.thresholdDc1 = float(dcEntry);
            r.thresholdDc2 = float(dcEntry);
        }
    }
    p_.table.noteChanged(slot(), SensorChange::Values);
}

} // namespace dorvan
