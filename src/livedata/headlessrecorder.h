#ifndef HEADLESSRECORDER_H
#define HEADLESSRECORDER_H

#include "livesampler.h"
#include "modbus/modbus.h"
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

// Records from a sensor without a window: connects with the same link and probe as
// the Settings tab, polls the live block as the Live Data tab does, and appends each
// new sample to a CSV file in the export format as it is taken.
class HeadlessRecorder : public QObject
{
    Q_OBJECT

public:
    using Options = RecorderOptions;

    explicit HeadlessRecorder(const Options &options, QObject *parent = nullptr);
    ~HeadlessRecorder() override;

    // Runs the event loop until the duration is over, SIGINT or SIGTERM arrives, or
    // the sensor cannot be reached; returns the process exit code.
    int run();

private slots:
    void deviceConnected();
    void replyReceived(QVector<uint16_t> data);
    void modbusError(QString error);
    void noAnswer();
    void durationCheck();
    void signalReceived();

private:
    void finish(int exitCode);

    Options options;
    Modbus modbus;
    LiveSampler sampler;
    RecordingJournal file;
    QDateTime firmwareDate;
    QTimer pollTimer;
    QTimer answerTimer;
    QTimer durationTimer;
    QDeadlineTimer recordingEnd;
    QSocketNotifier *signalNotifier = nullptr;
    QTextStream out;
    QTextStream err;
    bool connected = false;
    bool finished = false;
    bool createdFile = false;
    int errors = 0;
    int exitCode = 0;
};

#endif
