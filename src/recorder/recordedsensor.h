#ifndef RECORDEDSENSOR_H
#define RECORDEDSENSOR_H

#include "livesampler.h"
#include "registermap.h"
#include "recordingjournal.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

// One sensor the recorder without a window records: its address, its identity once
// probed, its file and its samples. The recorder hands it the replies meant for it;
// whatever else wants the samples (a publisher) listens to identityRead and
// sampleRecorded, which carry the address and the serial number as the program shows it.
class RecordedSensor : public QObject
{
    Q_OBJECT

public:
    // fileNamePattern may hold {address} and {serial} (see recordingFileName); relative
    // names are taken in the working directory.
    RecordedSensor(uint8_t address, const QString &fileNamePattern, QObject *parent = nullptr);

    uint8_t address() const { return sensorAddress; }
    bool hasIdentity() const { return identified; }
    const DeviceIdentity &identity() const { return deviceIdentity; }
    // "00-12-AB-CD"; empty before the first probe was answered.
    QString serialText() const;
    // The file's name can be given: at once, or after the probe when it holds {serial}.
    bool fileNameKnown() const;
    QString path() const;
    // Decides about the file by the rules of decideRecordingFile and opens it; false with
    // the line to show when it is refused or cannot be opened, and then nothing was touched.
    bool openFile(QString *error);
    bool isFileOpen() const { return file.isOpen(); }
    // The file last opened; differs from path() once another sensor answers at this address.
    QString openedPath() const { return file.path(); }
    // The open file's length before this recording appended to it.
    qint64 openedLength() const { return lengthAtOpen; }

    // The probe's reply, registers 0..46.
    void takeIdentity(const QVector<uint16_t> &words);
    // The live block's reply, registers 16..30: a new sample is appended to the file;
    // a frame number seen before gives nothing.
    std::optional<LiveSample> takeSample(const QVector<uint16_t> &words);
    // Writes out and closes the file; a file made for this recording that got no sample
    // is removed again. Returns the samples in the file.
    int closeFile();

signals:
    void identityRead(uint8_t address, QString serial, DeviceIdentity identity);
    void sampleRecorded(uint8_t address, QString serial, LiveSample sample);
    // The file cannot be written any more (see RecordingJournal::writeFailed).
    void writeFailed(QString error);
    // Complete lines reached the file.
    void linesWritten();

private:
    uint8_t sensorAddress;
    QString pattern;
    DeviceIdentity deviceIdentity;
    bool identified = false;
    LiveSampler sampler;
    RecordingJournal file;
    bool createdFile = false;
    qint64 lengthAtOpen = 0;
};

#endif
