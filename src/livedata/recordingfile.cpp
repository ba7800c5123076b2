#include "recordingfile.h"

#include "csvline.h"
#include "modbus/registermap.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

const qint64 searchedBytes = 1 << 20;

bool holdsColumnHeader(int fd)
{
    QByteArray bytes(int(searchedBytes), Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (count < 0 && errno == EINTR)
            continue;
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
    const QByteArray name = QFile::encodeName(path);
    const QString notARecording =
        QString("Error: %1 exists and is not a recording of this program; choose another name")
            .arg(path);
    struct stat status;
    if (::stat(name.constData(), &status) != 0) {
        if (errno == ENOENT)
            return {RecordingFileDecision::Create, QString()};
        return {RecordingFileDecision::Refuse,
                QString("Error: cannot open %1: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    }
    // A pipe or a device is never opened: reading it could block or never end.
    if (!S_ISREG(status.st_mode))
        return {RecordingFileDecision::Refuse, notARecording};
    if (status.st_size == 0)
        return {RecordingFileDecision::Continue, QString()};

    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {RecordingFileDecision::Refuse,
                QString("Error: cannot open %1: %2")
                    .arg(path, QString::fromLocal8Bit(std::strerror(errno)))};
    const bool recording = holdsColumnHeader(fd);
    ::close(fd);
    if (!recording)
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
