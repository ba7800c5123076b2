#ifndef HEADLESSRECORDER_H
#define HEADLESSRECORDER_H

#include "recordercore.h"
#include "recorderoptions.h"

#include <memory>

// Records from sensors without a window: connects with the same link and probe as
// the Settings tab, polls the live block as the Live Data tab does, and appends each
// new sample to a CSV file in the export format as it is taken.
//
// One sensor under a plain name is recorded by SingleSensorRecorder; several sensors on
// one line, or a name that waits for the serial number, by BusRecorder.
//
// With --mqtt every sample that reached a sensor's file is also published to a broker,
// from the file (see MqttPublisher).
class HeadlessRecorder
{
public:
    explicit HeadlessRecorder(const RecorderOptions &options);
    ~HeadlessRecorder();

    // Runs the event loop until the duration is over, SIGINT or SIGTERM arrives, the
    // sensors cannot be reached at the start, or every sensor has been unreachable for
    // longer than giveUpAfterSeconds; returns the process exit code (RecorderCore::ExitCode).
    // SIGUSR1 prints the link statistics.
    int run();

private:
    std::unique_ptr<RecorderCore> recorder;
};

#endif
