#include "recordingfile.h"

#include "csvline.h"
#include "registermap.h"
#include "platformfile.h"

#include <cstring>

namespace
{

const qint64 searchedBytes = 1 << 20;

bool holdsColumnHeader(PlatformFile &file)
{
    QByteArray bytes(int(searchedBytes), Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < bytes.size()) {
        const qint64 count = file.read(bytes.data() + filled, bytes.size() - filled);
        if (count <= 0)
            break;
        filled += count;
    }
    bytes.truncate(int(filled));
    const qint64 headerLength = qint64(std::strlen(csvColumnHeader));
    for (int begin = 0; begin < bytes.size();) {
        int end = bytes.indexOf('\n', begin);
        if (end < 0)
            end = bytes.size();
        int contentEnd = end;
        if (contentEnd > begin && bytes.at(contentEnd - 1) == '\r')
            --contentEnd;
        if (contentEnd - begin == headerLength &&
            std::memcmp(bytes.constData() + begin, csvColumnHeader, size_t(headerLength)) == 0)
            return true;
        begin = end + 1;
    }
    return false;
}

} // namespace

RecordingFileDecision decideRecordingFile(const QString &path)
{
    const QString notARecording =
        QString("Error: %1 exists and is not a recording of this program; choose another name")
            .arg(path);
    const auto cannotOpen = [&](const QString &reason) {
        return RecordingFileDecision{RecordingFileDecision::Refuse,
                                     QString("Error: cannot open %1: %2").arg(path, reason)};
    };
    const FileStatus status = fileStatus(path);
    if (status.kind == FileStatus::Missing)
        return {RecordingFileDecision::Create, QString()};
    if (status.kind == FileStatus::Failed)
        return cannotOpen(status.error);
    // A pipe or a device is never opened: reading it could block or never end.
    if (status.kind != FileStatus::Regular)
        return {RecordingFileDecision::Refuse, notARecording};
    if (status.size == 0)
        return {RecordingFileDecision::Continue, QString()};

    PlatformFile file;
    const PlatformFile::Opened opened = file.openRegular(path, false);
    if (opened == PlatformFile::Opened::NotRegular)
        return {RecordingFileDecision::Refuse, notARecording};
    if (opened != PlatformFile::Opened::Yes)
        return cannotOpen(file.errorString());
    if (!holdsColumnHeader(file))
        return {RecordingFileDecision::Refuse, notARecording};
    return {RecordingFileDecision::Continue, QString()};
}

namespace
{

const QString serialField = "{serial}";
const QString addressField = "{address}";

} // namespace

bool namesSerial(const QString &pattern)
{
    return pattern.contains(serialField);
}

bool namesEachSensor(const QString &pattern)
{
    return namesSerial(pattern) || pattern.contains(addressField);
}

QString recordingFileName(const QString &pattern, uint8_t address, uint32_t serialNumber)
{
    QString name = pattern;
    name.replace(addressField, QString::number(address));
    if (namesSerial(pattern))
        name.replace(serialField, formatSerialNumber(serialNumber));
    return name;
}
