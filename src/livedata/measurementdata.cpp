#include "measurementdata.h"

#include <QDebug>
#include <QMutexLocker>

MeasurementData::MeasurementData(QObject *parent) : QObject(parent) {}

bool MeasurementData::addSample(const QDateTime &timestamp, uint32_t frameNr,
                                uint16_t systemState, double T, double rho, double nu,
                                double eta, double nuUc)
{
    QMutexLocker locker(&mutex);
    if (!timestamps.isEmpty() && timestamp < timestamps.last()) {
        qWarning() << "MeasurementData: new timestamp"
                   << timestamp.toString("yyyy-MM-ddTHH:mm:ss.zzz")
                   << "is older than last data time"
                   << timestamps.last().toString("yyyy-MM-ddTHH:mm:ss.zzz");
        return false;
    }
    timestamps.append(timestamp);
    this->frameNr.append(frameNr);
    this->systemState.append(systemState);
    this->T.append(T);
    this->rho.append(rho);
    this->nu.append(nu);
    this->eta.append(eta);
    this->nuUc.append(nuUc);
    return true;
}

void MeasurementData::clear()
{
    QMutexLocker locker(&mutex);
    timestamps.clear();
    frameNr.clear();
    systemState.clear();
    T.clear();
    rho.clear();
    nu.clear();
    eta.clear();
    nuUc.clear();
}
