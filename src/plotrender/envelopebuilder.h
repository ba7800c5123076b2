#ifndef ENVELOPEBUILDER_H
#define ENVELOPEBUILDER_H

#include "curveenvelope.h"

#include <QVector>

#include <functional>

// Collects a curve's envelope (curveenvelope.h) from pieces taken in time order: single
// samples, or stretches of samples that lie in one column and miss no value, known by
// their first and last index and their extremes. Per column and unbroken run it keeps the
// first, the smallest, the largest and the last value with their indices; the values of
// the first and the last sample are read once the run is complete.
class EnvelopeBuilder
{
public:
    EnvelopeBuilder(QVector<EnvelopePoint> &envelope, std::function<double(int index)> valueAt);

    // Samples first..last, all in column, none missing; the first occurrence of each
    // extreme is given.
    void add(int column, int first, int last, double minimum, int minimumIndex, double maximum,
             int maximumIndex);
    void addSample(int column, int index, double value)
    {
        add(column, index, index, value, index, value, index);
    }
    // A missing value or a time gap: the runs before and after it are not joined.
    void breakRun();
    // Appends the last run; call once after the last piece.
    void finish();

private:
    void appendRun();

    QVector<EnvelopePoint> &envelope;
    std::function<double(int index)> valueAt;
    bool open = false;
    bool brokenSinceLastRun = false;
    bool anyRun = false;
    int column = 0;
    int firstIndex = 0;
    int lastIndex = 0;
    int minimumIndex = 0;
    int maximumIndex = 0;
    double minimum = 0;
    double maximum = 0;
};

#endif
