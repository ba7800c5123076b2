#include "headlessrecorder.h"

#include "busrecorder.h"
#include "recordingfile.h"
#include "singlesensorrecorder.h"

HeadlessRecorder::HeadlessRecorder(const RecorderOptions &options)
{
    if (options.addresses.size() > 1 || namesSerial(options.fileName))
        recorder = std::make_unique<BusRecorder>(options);
    else
        recorder = std::make_unique<SingleSensorRecorder>(options);
}

HeadlessRecorder::~HeadlessRecorder() = default;

int HeadlessRecorder::run()
{
    return recorder->run();
}
