#pragma once

#include <QtGlobal>

#include <bit>
#include <cstddef>
#include <type_traits>

namespace dorvan {

static_assert(std::endian::native == std::endian::little,
              "records are stored little-endian, byte for byte as in memory");

// One slot of the sensor table; also the record of the per-sensor files, so
// this layout is a file format: 232 bytes, natural alignment, gaps zeroed.
struct SensorRecord
{
    quint8 recordMark = 1;
    quint8 gap1[3] = {};
    quint32 address = 0;      // 0 = empty slot; only the low 16 bits travel on the line
    qint16 model = 0;         // 0 = Дорван-301ДК, 1 = Дорван-302ДК
    qint16 position = 0;      // the slot's own index while occupied
    quint8 gap2[4] = {};
    double connectedAt = 0;   // day count
    qint16 connectedBy = 0;   // operator record number
    quint8 gap3[6] = {};
    double disconnectedAt = 0;
    qint16 disconnectedBy = -1;
    quint8 gap4[2] = {};
    qint32 spare = 0;
    quint8 armed1 = 0;
    quint8 armed2 = 0;
    quint8 gap5[2] = {};
    qint32 state = 0;
    quint8 alarm1 = 0;
    quint8 alarm2 = 0;
    quint8 gap6[2] = {};
    float threshold1 = 0;
    float threshold2 = 0;
    float thresholdDc1 = 0;
    float thresholdDc2 = 0;
    float signalM0a = 0;
    float signalM0b = 0;
    float signal1 = 0;
    float signal2 = 0;
    // linkUp, pendingRequest and the eight spare words form one array of ten
    // words that is always cleared together with the three spare blocks.
    qint16 linkUp = 0;
    qint16 pendingRequest = 0;
    qint16 spareWords[8] = {};
    qint32 spareA[10] = {};
    qint32 spareB[10] = {};
    qint32 spareC[10] = {};

    // Zeroes the ten words from linkUp on and the three spare blocks.
    void clearWordsAndBlocks();
    // Zeroes the four thresholds and the four signals.
    void clearValues();
    // Zeroes the eight values from threshold1 to signal2, DC components included.
    void clearAllValues();
};

static_assert(std::is_standard_layout_v<SensorRecord>);
static_assert(std::is_trivially_copyable_v<SensorRecord>);
static_assert(sizeof(SensorRecord) == 232);
static_assert(offsetof(SensorRecord, recordMark) == 0);
static_assert(offsetof(SensorRecord, address) == 4);
static_assert(offsetof(SensorRecord, model) == 8);
static_assert(offsetof(SensorRecord, position) == 10);
static_assert(offsetof(SensorRecord, connectedAt) == 16);
static_assert(offsetof(SensorRecord, connectedBy) == 24);
static_assert(offsetof(SensorRecord, disconnectedAt) == 32);
static_assert(offsetof(SensorRecord, disconnectedBy) == 40);
static_assert(offsetof(SensorRecord, spare) == 44);
static_assert(offsetof(SensorRecord, armed1) == 48);
static_assert(offsetof(SensorRecord, armed2) == 49);
static_assert(offsetof(SensorRecord, state) == 52);
static_assert(offsetof(SensorRecord, alarm1) == 56);
static_assert(offsetof(SensorRecord, alarm2) == 57);
static_assert(offsetof(SensorRecord, threshold1) == 60);
static_assert(offsetof(SensorRecord, threshold2) == 64);
static_assert(offsetof(SensorRecord, thresholdDc1) == 68);
static_assert(offsetof(SensorRecord, thresholdDc2) == 72);
static_assert(offsetof(SensorRecord, signalM0a) == 76);
static_assert(offsetof(SensorRecord, signalM0b) == 80);
static_assert(offsetof(SensorRecord, signal1) == 84);
static_assert(offsetof(SensorRecord, signal2) == 88);
static_assert(offsetof(SensorRecord, linkUp) == 92);
static_assert(offsetof(SensorRecord, pendingRequest) == 94);
static_assert(offsetof(SensorRecord, spareWords) == 96);
static_assert(offsetof(SensorRecord, spareA) == 112);
static_assert(offsetof(SensorRecord, spareB) == 152);
static_assert(offsetof(SensorRecord, spareC) == 192);

} // namespace dorvan
