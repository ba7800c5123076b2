#ifndef HEADLESSRECORDER_H
#define HEADLESSRECORDER_H

#include "livesampler.h"
#include "modbus/autoreconnect.h"
#include "modbus/modbus.h"
#include "mqttpublisher.h"
#include "recorderoptions.h"
#include "recordingjournal.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTextStream>
#include <QTimer>

#include <cstdint>
#include <memory>

// Records from a sensor without a window: connects with the same link and probe as
// the Settings tab, polls the live block as the Live Data tab does, and appends each
// new sample to a CSV file in the export format as it is taken. Once the sensor has
// answered, a lost link is reopened and probed again and again, and the recording goes
// on in the same file when the sensor is back. With --mqtt every sample that reached
// the file is also published to a broker, from the file (see MqttPublisher).
class HeadlessRecorder : public QObject
{
    Q_OBJECT

public:
    using Options = RecorderOptions;

    // Exit codes of run().
    enum ExitCode { Success = 0, Failure = 1, BadStart = 2, GaveUp = 3 };

    explicit HeadlessRecorder(const Options &options, QObject *parent = nullptr);
    ~HeadlessRecorder() override;

    // Runs the event loop until the duration is over, SIGINT or SIGTERM arrives, the
    // sensor cannot be reached at the start, or an outage lasts longer than
    // giveUpAfterSeconds; returns the process exit code. SIGUSR1 prints the link
    // statistics.
    int run();

private slots:
    void deviceConnected();
    void replyReceived(QVector<uint16_t> data);
    void modbusError(QString error);
    void noAnswer();
    void durationCheck();
    void signalReceived();
    void portOpenFailed(QString reason);
    void outageBegan();
    void outageEnded();
    void giveUp();

private:
    void finish(int exitCode);
    void startPublishing(const DeviceIdentity &identity);
    void printStatistics();

    Options options;
    Modbus modbus;
    LiveSampler sampler;
    RecordingJournal file;
    qint64 fileLengthAtOpen = 0; // where publishing starts: the samples of this run
    std::unique_ptr<MqttPublisher> publisher;
    QDateTime firmwareDate;
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
    QSocketNotifier *signalNotifier = nullptr;
    QTextStream out;
    QTextStream err;
    bool finished = false;
    bool createdFile = false;
    int errors = 0;
    int exitCode = 0;
};

#endif
