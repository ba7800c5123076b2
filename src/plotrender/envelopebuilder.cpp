#include "envelopebuilder.h"

#include <algorithm>
#include <limits>
#include <utility>

EnvelopeBuilder::EnvelopeBuilder(QVector<EnvelopePoint> &envelope,
                                 std::function<double(int index)> valueAt)
    : envelope(envelope), valueAt(std::move(valueAt))
{
}

void EnvelopeBuilder::add(int column, int first, int last, double minimum, int minimumIndex,
                          double maximum, int maximumIndex)
{
    if (open && column != this->column)
        appendRun();
    if (!open) {
        if (brokenSinceLastRun) {
            envelope.append(EnvelopePoint{column, std::numeric_limits<double>::quiet_NaN()});
            brokenSinceLastRun = false;
        }
        open = true;
        anyRun = true;
        this->column = column;
        firstIndex = first;
        this->minimum = minimum;
        this->minimumIndex = minimumIndex;
        this->maximum = maximum;
        this->maximumIndex = maximumIndex;
    } else {
        if (minimum < this->minimum) {
            this->minimum = minimum;
            this->minimumIndex = minimumIndex;
        }
        if (maximum > this->maximum) {
            this->maximum = maximum;
            this->maximumIndex = maximumIndex;
        }
    }
    lastIndex = last;
}

void EnvelopeBuilder::breakRun()
{
    if (open)
        appendRun();
    brokenSinceLastRun = anyRun;
}

void EnvelopeBuilder::finish()
{
    if (open)
        appendRun();
}

void EnvelopeBuilder::appendRun()
{
    open = false;
    // Long windows show about one sample per column.
    if (firstIndex == lastIndex) {
        envelope.append(EnvelopePoint{column, minimum});
        return;
    }
    std::pair<int, double> points[4] = {
        {firstIndex, 0.0}, {minimumIndex, minimum}, {maximumIndex, maximum}, {lastIndex, 0.0}};
    points[0].second = valueAt(firstIndex);
    points[3].second = valueAt(lastIndex);
    std::sort(points, points + 4,
              [](const std::pair<int, double> &a, const std::pair<int, double> &b) {
                  return a.first < b.first;
              });
    for (int i = 0; i < 4; ++i) {
        if (i == 0 || points[i].first != points[i - 1].first)
            envelope.append(EnvelopePoint{column, points[i].second});
    }
}
