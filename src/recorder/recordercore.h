#ifndef RECORDERCORE_H
#define RECORDERCORE_H

#include "modbus.h"
#ifndef QUVA_NO_MQTT
#include "mqttpublisher.h"
#endif
#include "recordedsensor.h"
#include "recorderoptions.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTextStream>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

// What the recorder without a window does the same way for one sensor and for a line of
// several (SingleSensorRecorder, BusRecorder): the link, one RecordedSensor per address,
// the recording's duration, the publishers for --mqtt, the process signals and the end.
class RecorderCore : public QObject
{
    Q_OBJECT

public:
    // Exit codes of run().
    // Unpublished: the run would have ended with Success, but samples of --mqtt wait in
    // their files for the next run.
    enum ExitCode { Success = 0, Failure = 1, BadStart = 2, GaveUp = 3, Unpublished = 4 };

    ~RecorderCore() override;

    // Runs the event loop until the recording ends; returns the process exit code.
    // SIGINT or SIGTERM ends it with Success, SIGUSR1 prints the link statistics.
    int run();

protected:
    // addressInTexts: the lines about a sensor name its address.
    RecorderCore(const RecorderOptions &options, bool addressInTexts, QObject *parent);

    // Opens the files and the port; an exit code other than Success when it cannot start.
    virtual int start() = 0;
    // A link error other than the empty one that stands for a good reply.
    virtual void linkError(const QString &error) = 0;
    // Stops the mode's own timers once the recording ends.
    virtual void stopActivity() = 0;
    // The lines at the end, given the samples each sensor's file got.
    virtual void printSummary(const std::vector<int> &written) = 0;

    // The recording's duration counts from the first connection.
    void startDuration();
    void printIdentity(const RecordedSensor &sensor);
    void printSample(const RecordedSensor &sensor, const LiveSample &sample);
    // Publishes the sensor's open file, once its identity is known.
    void publish(int index);
    // The sensor answers again, or counts as lost (the status its publisher shows).
    void setAnswering(int index, bool answering);
    void finish(int exitCode);

    static QString timeText(const QDateTime &time);
    static QString number(double value, int decimals);

    const RecorderOptions options;
    Modbus modbus;
    std::vector<std::unique_ptr<RecordedSensor>> sensors;
    bool everConnected = false;
    bool finished = false;
    int errors = 0;
    QTextStream out;
    QTextStream err;

private:
    void durationCheck();
    void exitWhenPublished(int exitCode);
    void printStatistics();

    const bool addressInTexts;
    // One per sensor and file; a sensor replaced at its address gets a new one.
#ifndef QUVA_NO_MQTT
    std::vector<std::unique_ptr<MqttPublisher>> publishers;
#endif
    QTimer durationTimer;
    QDeadlineTimer recordingEnd;
    std::unique_ptr<QObject> processSignals;
    int exitCode = 0;
};

#endif
