#pragma once

#include "base/context.h"
#include "grid/textgridmodel.h"

#include <QObject>

namespace dorvan {

// The event report: an event file read back 500 records to a page.
class Report : public QObject
{
    Q_OBJECT

public:
    explicit Report(ConsoleContext &context, QObject *parent = nullptr);

    // "Протокол датчика" from the main window.
    void sensorReport(quint32 address, int model);

private:
    ConsoleContext &context_;
};

} // namespace dorvan
