#ifndef SELECTIONSTATISTICS_H
#define SELECTIONSTATISTICS_H

#include <QDateTime>
#include <QVector>

#include <cstdint>
#include <limits>

// Statistics of one quantity over a stretch of the recording. Samples without a value
// (NaN) are left out of everything, the fault count included.
struct SelectionStatistics {
    static constexpr double noValue = std::numeric_limits<double>::quiet_NaN();

    int count = 0; // samples with a value
    double mean = noValue;
    double minimum = noValue;
    double maximum = noValue;
    double standardDeviation = noValue; // sample (n - 1) deviation; NaN below two values
    double slopePerMinute = noValue;    // least-squares line; NaN without a time span
    int faultCount = 0; // samples with a value whose state shows a fault (bit 9 aside)
};

// Rows first .. last - 1 of the store's parallel columns: one result per column of
// columns, in that order. The timestamps are read once for all columns.
QVector<SelectionStatistics> selectionStatistics(const QVector<QDateTime> &timestamps,
                                                 const QVector<const QVector<double> *> &columns,
                                                 const QVector<uint16_t> &systemStates, int first,
                                                 int last);

// The rows whose timestamps lie in [left, right] (both inclusive) of an ascending column,
// as first and one past the last.
QPair<int, int> rowsBetween(const QVector<QDateTime> &timestamps, const QDateTime &left,
                            const QDateTime &right);

#endif
