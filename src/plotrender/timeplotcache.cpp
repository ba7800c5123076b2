#include "timeplotcache.h"

#include <algorithm>
#include <limits>

namespace
{

const int maximumPointCount = 2000;

template <typename T> void insertOrAppend(QVector<T> &column, int position, const T &value)
{
    if (position >= column.size())
        column.append(value);
    else
        column.insert(position, value);
}

} // namespace

void TimePlotCache::setSources(const QVector<QDateTime> *timestamps,
                               const QVector<QVector<double> *> &curves,
                               const QVector<uint16_t> *systemStates)
{
    this->timestamps = timestamps;
    this->curves.clear();
    for (const QVector<double> *curve : curves)
        this->curves.append(curve);
    this->systemStates = systemStates;
    reset();
}

void TimePlotCache::reset()
{
    clearInterior();
    interiorValues.fill(QVector<double>(), curves.size());
    visitedIndices.clear();
    visitedTimes.clear();
    visitedStates.clear();
    visitedValues.fill(QVector<double>(), curves.size());
    envelopes.fill(Envelope(), curves.size());
    ++visitedRevision;
}

void TimePlotCache::clearInterior()
{
    currentStep = 0;
    interiorIndices.clear();
    interiorTimes.clear();
    interiorStates.clear();
    for (QVector<double> &values : interiorValues)
        values.clear();
}

bool TimePlotCache::interiorStillValid() const
{
    if (interiorIndices.isEmpty())
        return true;
    const int back = interiorIndices.last();
    return back < timestamps->size() &&
           timestamps->at(back).toMSecsSinceEpoch() == interiorTimes.last() &&
           timestamps->at(interiorIndices.first()).toMSecsSinceEpoch() == interiorTimes.first();
}

void TimePlotCache::read(int index, int position, QVector<int> &indices, QVector<qint64> &times,
                         QVector<uint16_t> &states, QVector<QVector<double>> &values)
{
    insertOrAppend(indices, position, index);
    insertOrAppend(times, position, timestamps->at(index).toMSecsSinceEpoch());
    insertOrAppend(states, position,
                   systemStates && index < systemStates->size() ? systemStates->at(index)
                                                                : uint16_t(0));
    for (int curve = 0; curve < curves.size(); ++curve) {
        const QVector<double> *list = curves[curve];
        insertOrAppend(values[curve], position,
                       list && index < list->size() ? list->at(index)
                                                    : std::numeric_limits<double>::quiet_NaN());
    }
    ++samplesRead;
}

void TimePlotCache::readInterior(int from, int to, int position)
{
    for (int index = from; index <= to; index += currentStep, ++position)
        read(index, position, interiorIndices, interiorTimes, interiorStates, interiorValues);
}

void TimePlotCache::removeInterior(int position, int count)
{
    if (count <= 0)
        return;
    interiorIndices.remove(position, count);
    interiorTimes.remove(position, count);
    interiorStates.remove(position, count);
    for (QVector<double> &values : interiorValues)
        values.remove(position, count);
}

void TimePlotCache::update(qint64 leftMs, qint64 rightMs)
{
    const int n = timestamps ? timestamps->size() : 0;
    QVector<int> indices;
    QVector<qint64> times;
    QVector<uint16_t> states;
    QVector<QVector<double>> values(curves.size());
    if (n == 0) {
        clearInterior();
    } else {
        if (!interiorStillValid())
            clearInterior();
        const QDateTime left = QDateTime::fromMSecsSinceEpoch(leftMs);
        const QDateTime right = QDateTime::fromMSecsSinceEpoch(rightMs);
        int first = int(std::lower_bound(timestamps->begin(), timestamps->end(), left) -
                        timestamps->begin());
        int last = int(std::upper_bound(timestamps->begin(), timestamps->end(), right) -
                       timestamps->begin());
        first = qBound(0, first, n - 1);
        last = qBound(0, last, n - 1);
        const int step = qMax(1, (last - first) / maximumPointCount);
        if (step != currentStep) {
            clearInterior();
            currentStep = step;
        }
        // The multiples of step strictly between first and last.
        const int low = (first / step + 1) * step;
        const int high = last > 0 ? (last - 1) / step * step : -1;
        if (low > high || interiorIndices.isEmpty() || interiorIndices.last() < low ||
            interiorIndices.first() > high) {
            clearInterior();
            currentStep = step;
            if (low <= high)
                readInterior(low, high, 0);
        } else {
            const auto frontEnd =
                std::lower_bound(interiorIndices.begin(), interiorIndices.end(), low);
            removeInterior(0, int(frontEnd - interiorIndices.begin()));
            const auto backBegin =
                std::upper_bound(interiorIndices.begin(), interiorIndices.end(), high);
            const int kept = int(backBegin - interiorIndices.begin());
            removeInterior(kept, interiorIndices.size() - kept);
            const int front = interiorIndices.first();
            const int back = interiorIndices.last();
            if (low < front)
                readInterior(low, front - step, 0);
            if (back < high)
                readInterior(back + step, high, interiorIndices.size());
        }

        read(first, 0, indices, times, states, values);
        indices += interiorIndices;
        times += interiorTimes;
        states += interiorStates;
        for (int curve = 0; curve < curves.size(); ++curve)
            values[curve] += interiorValues[curve];
        if (last != first)
            read(last, indices.size(), indices, times, states, values);
    }

    // A change of anything visited, be it the window or a new last sample, makes the
    // envelopes stale.
    const auto sameValues = [&] {
        for (int curve = 0; curve < curves.size(); ++curve) {
            const QVector<double> &a = values[curve];
            const QVector<double> &b = visitedValues[curve];
            if (a.size() != b.size() ||
                !std::equal(a.begin(), a.end(), b.begin(),
                            [](double x, double y) { return x == y || (x != x && y != y); }))
                return false;
        }
        return true;
    };
    if (indices != visitedIndices || times != visitedTimes || states != visitedStates ||
        !sameValues()) {
        visitedIndices.swap(indices);
        visitedTimes.swap(times);
        visitedStates.swap(states);
        visitedValues.swap(values);
        ++visitedRevision;
    }
}

const QVector<EnvelopePoint> &TimePlotCache::envelope(int curve, const TimeAxis &axis)
{
    Envelope &envelope = envelopes[curve];
    if (envelope.axis != axis || envelope.revision != visitedRevision) {
        envelope.points.resize(0);
        appendCurveEnvelope(axis, visitedTimes.constData(), visitedValues[curve].constData(),
                            visitedTimes.size(), envelope.points);
        envelope.axis = axis;
        envelope.revision = visitedRevision;
    }
    return envelope.points;
}

namespace
{

template <typename T> qint64 capacityBytes(const QVector<T> &list)
{
    return qint64(list.capacity()) * qint64(sizeof(T));
}

} // namespace

qint64 TimePlotCache::byteSize() const
{
    qint64 bytes = capacityBytes(interiorIndices) + capacityBytes(interiorTimes) +
                   capacityBytes(interiorStates) + capacityBytes(visitedIndices) +
                   capacityBytes(visitedTimes) + capacityBytes(visitedStates);
    for (const QVector<double> &values : interiorValues)
        bytes += capacityBytes(values);
    for (const QVector<double> &values : visitedValues)
        bytes += capacityBytes(values);
    for (const Envelope &envelope : envelopes)
        bytes += capacityBytes(envelope.points);
    return bytes;
}
