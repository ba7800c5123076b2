#ifndef RANDOMRECORDING_H
#define RANDOMRECORDING_H

#include <QDateTime>
#include <QRandomGenerator>
#include <QVector>

#include <cstdint>

// A recording as the store keeps it, grown in random stretches of what makes a plot hard:
// spikes, single-sample faults, fault stretches, runs of missing values, time gaps, equal
// times, constant stretches and noise.
struct RandomRecording {
    static const int curveCount = 3;

    QVector<QDateTime> timestamps;
    QVector<double> values[curveCount];
    QVector<uint16_t> states;

    QVector<QVector<double> *> curves() { return {&values[0], &values[1], &values[2]}; }
    qint64 firstMs() const { return timestamps.first().toMSecsSinceEpoch(); }
    qint64 lastMs() const { return timestamps.last().toMSecsSinceEpoch(); }
    void clear();
    // Appends count samples.
    void append(QRandomGenerator &random, int count);

private:
    qint64 nextMs = 1714982400000;
};

#endif
