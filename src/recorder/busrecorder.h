#ifndef BUSRECORDER_H
#define BUSRECORDER_H

#include "busschedule.h"
#include "reconnectpolicy.h"
#include "recordercore.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QSet>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <optional>

// Records several sensors on one line (or one whose file name waits for the serial
// number): each is probed and then polled in turn within the poll period, into a file of
// its own; a sensor that is missing or drops out is probed again on its own (BusSchedule)
// while the others go on. A lost line is reopened after growing pauses.
class BusRecorder : public RecorderCore
{
    Q_OBJECT

public:
    explicit BusRecorder(const RecorderOptions &options, QObject *parent = nullptr);
    ~BusRecorder() override;

protected:
    int start() override;
    void linkError(const QString &error) override;
    void stopActivity() override;
    void printSummary(const std::vector<int> &written) override;

private:
    void replyReceived(const QVector<uint16_t> &data);
    void takeReply(const QVector<uint16_t> &data);
    void takeIdentity(BusSchedule::Turn turn, const QVector<uint16_t> &data, qint64 now);
    // False when the sensor's file is refused; the sensor is then retired.
    bool openFile(int index);
    void period();
    void sendNextRequest();
    void lineStateChanged(LinkState state);
    void lineLost(const QString &error, qint64 now);
    void reopenLine();
    void retireSensor(int index, const QString &why);
    void portOpenFailed(const QString &reason);
    QString addressList() const;
    QDateTime wallTime(qint64 busMs) const;

    std::optional<BusSchedule> schedule;
    QElapsedTimer busClock;
    std::optional<BusSchedule::Turn> inFlight;
    QTimer pollTimer;
    bool lineOpen = false;
    ReconnectPolicy linePolicy;
    QTimer lineReopenTimer;
    bool anyGivenUp = false;
    QSet<int> refusedFiles; // sensors not recorded since their file was refused
};

#endif
