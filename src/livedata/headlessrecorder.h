#ifndef HEADLESSRECORDER_H
#define HEADLESSRECORDER_H

#include "livesampler.h"
#include "modbus/autoreconnect.h"
#include "modbus/modbus.h"
#include "recorderoptions.h"
#include "recordingjournal.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTextStream>
#include <QTimer>

#include <cstdint>
#include <memory>

// Records from a sensor without a window: connects with the same link and probe as
// the Settings tab, polls the live block as the Live Data tab does, and appends each
// new sample to a CSV file in the export format as it is taken. Once the sensor has
// answered, a lost link is reopened and probed again and again, and the recording goes
// on in the same file when the sensor is back.
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
    void portOpenFailed(QString reason);
    void outageBegan();
    void outageEnded();
    void giveUp();

private:
    void finish(int exitCode);
    void printStatistics();

    Options options;
    Modbus modbus;
    LiveSampler sampler;
    RecordingJournal file;
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
    std::unique_ptr<QObject> processSignals;
    QTextStream out;
    QTextStream err;
    bool finished = false;
    bool createdFile = false;
    int errors = 0;
    int exitCode = 0;
};

#endif
