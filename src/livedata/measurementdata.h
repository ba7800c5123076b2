#ifndef MEASUREMENTDATA_H
#define MEASUREMENTDATA_H

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QVector>

#include <cstdint>

// Every sample taken since start-up, oldest first, as parallel columns. The columns
// are never replaced, only appended to and emptied, so readers may keep pointers to
// them. The mutex guards appending, clearing and the exporters' row-wise reads; it
// is not recursive, so code holding it must not call addSample() or clear().
class MeasurementData : public QObject
{
    Q_OBJECT

public:
    explicit MeasurementData(QObject *parent = nullptr);

    // Appends one sample; refuses (false, with a warning) a timestamp earlier than
    // the last stored one.
    bool addSample(const QDateTime &timestamp, uint32_t frameNr, uint16_t systemState, double T,
                   double rho, double nu, double eta, double nuUc);
    void clear();

    QVector<QDateTime> timestamps;
    QVector<uint32_t> frameNr;
    QVector<uint16_t> systemState;
    QVector<double> T;
    QVector<double> rho;
    QVector<double> nu;
    QVector<double> eta;
    QVector<double> nuUc;
    QMutex mutex;
};

#endif
