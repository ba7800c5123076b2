#ifndef HEADLESSRECORDER_H
#define HEADLESSRECORDER_H

#include "busschedule.h"
#include "autoreconnect.h"
#include "modbus.h"
#include "reconnectpolicy.h"
#include "mqttpublisher.h"
#include "recordedsensor.h"
#include "recorderoptions.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTextStream>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// Records from sensors without a window: connects with the same link and probe as
// the Settings tab, polls the live block as the Live Data tab does, and appends each
// new sample to a CSV file in the export format as it is taken.
//
// One sensor under a plain name: once it has answered, a lost link is reopened and
// probed again and again, and the recording goes on in the same file when the sensor
// is back. Several sensors on one line (or a name that waits for the serial number):
// each is probed and then polled in turn within the poll period, into a file of its
// own; a sensor that is missing or drops out is probed again on its own (BusSchedule)
// while the others go on.
//
// With --mqtt every sample that reached a sensor's file is also published to a broker,
// from the file (see MqttPublisher).
class HeadlessRecorder : public QObject
{
    Q_OBJECT

public:
    using Options = RecorderOptions;

    // Exit codes of run().
    enum ExitCode { Success = 0, Failure = 1, BadStart = 2, GaveUp = 3 };

    explicit HeadlessRecorder(const Options &options, QObject *parent = nullptr);
    ~HeadlessRecorder() override;

    // One per address, in the order given; for a publisher to listen to.
    const std::vector<std::unique_ptr<RecordedSensor>> &recordedSensors() const { return sensors; }

    // Runs the event loop until the duration is over, SIGINT or SIGTERM arrives, the
    // sensors cannot be reached at the start, or every sensor has been unreachable for
    // longer than giveUpAfterSeconds; returns the process exit code. SIGUSR1 prints the
    // link statistics.
    int run();

private slots:
    void deviceConnected();
    void replyReceived(QVector<uint16_t> data);
    void modbusError(QString error);
    void noAnswer();
    void durationCheck();
    void portOpenFailed(QString reason);
    void outageBegan();
    void outageEnded();
    void giveUp();

private:
    int runOneSensor();
    int runBus();
    void startDuration();
    void printSample(const RecordedSensor &sensor, const LiveSample &sample, bool withAddress);
    void printIdentity(const RecordedSensor &sensor);
    void busReply(const QVector<uint16_t> &data);
    void busError(const QString &error);
    void busPeriod();
    void sendNextRequest();
    void lineStateChanged(LinkState state);
    void reopenLine();
    void sensorFound(int index);
    void retireSensor(int index, const QString &why);
    QString addressList() const;
    QDateTime wallTime(qint64 busMs) const;
    void finish(int exitCode);
    // Publishes the sensor's open file, once its identity is known.
    void publish(int index);
    void exitWhenPublished(int exitCode);
    void printStatistics();

    Options options;
    Modbus modbus;
    std::vector<std::unique_ptr<RecordedSensor>> sensors;
    // One per sensor and file; a sensor replaced at its address gets a new one.
    std::vector<std::unique_ptr<MqttPublisher>> publishers;
    // Several sensors on the line, or a file named from the serial number.
    bool bus = false;
    QTimer pollTimer;
    QTimer answerTimer;
    QTimer durationTimer;
    QTimer giveUpTimer;
    // Made after the recorder's own connections, so that the recorder sees each link
    // error before the reconnecting does.
    std::unique_ptr<AutoReconnect> autoReconnect;
    QDateTime outageStart;
    bool everConnected = false;
    QDeadlineTimer recordingEnd;

    // The line of several sensors.
    std::optional<BusSchedule> schedule;
    QElapsedTimer busClock;
    std::optional<BusSchedule::Turn> inFlight;
    bool lineOpen = false;
    ReconnectPolicy linePolicy;
    QTimer lineReopenTimer;
    bool anyGivenUp = false;
    QSet<int> refusedFiles; // sensors not recorded since their file was refused

    std::unique_ptr<QObject> processSignals;
    QTextStream out;
    QTextStream err;
    bool finished = false;
    int errors = 0;
    int exitCode = 0;
};

#endif
