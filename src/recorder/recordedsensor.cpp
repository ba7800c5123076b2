#include "recordedsensor.h"

#include "recordingfile.h"

#include <QDir>
#include <QFileInfo>

RecordedSensor::RecordedSensor(uint8_t address, const QString &fileNamePattern, QObject *parent)
    : QObject(parent), sensorAddress(address), pattern(fileNamePattern)
{
    connect(&file, &RecordingJournal::writeFailed, this, &RecordedSensor::writeFailed);
    connect(&file, &RecordingJournal::appended, this, &RecordedSensor::linesWritten);
}

QString RecordedSensor::serialText() const
{
    return identified ? formatSerialNumber(deviceIdentity.serialNumber) : QString();
}

bool RecordedSensor::fileNameKnown() const
{
    return identified || !namesSerial(pattern);
}

QString RecordedSensor::path() const
{
    if (!fileNameKnown())
        return QString();
    return QDir::current().absoluteFilePath(
        recordingFileName(pattern, sensorAddress, deviceIdentity.serialNumber));
}

bool RecordedSensor::openFile(QString *error)
{
    const QString name = path();
    const RecordingFileDecision decision = decideRecordingFile(name);
    if (decision.action == RecordingFileDecision::Refuse) {
        *error = decision.error;
        return false;
    }
    if (!file.open(name)) {
        *error = QString("Error: cannot open %1: %2").arg(name, file.errorString());
        return false;
    }
    createdFile = decision.action == RecordingFileDecision::Create;
    lengthAtOpen = QFileInfo(name).size();
    return true;
}

void RecordedSensor::takeIdentity(const QVector<uint16_t> &words)
{
    deviceIdentity = decodeIdentity(words);
    identified = true;
    emit identityRead(sensorAddress, serialText(), deviceIdentity);
}

std::optional<LiveSample> RecordedSensor::takeSample(const QVector<uint16_t> &words)
{
    std::optional<LiveSample> sample = sampler.take(words, deviceIdentity.firmwareDate);
    if (!sample || !file.isOpen())
        return std::nullopt;
    file.append(*sample);
    emit sampleRecorded(sensorAddress, serialText(), *sample);
    return sample;
}

int RecordedSensor::closeFile()
{
    if (!file.isOpen())
        return file.samplesWritten();
    file.close();
    // What reached the file, not what was taken: after a full disk they differ.
    const int written = file.samplesWritten();
    // A recording file made for a sensor that never delivered a sample is not left behind.
    if (written == 0 && createdFile)
        file.remove();
    return written;
}
