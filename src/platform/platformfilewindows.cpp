#include "platformfile.h"

#include <QDir>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// The file is a Win32 handle wrapped in a C runtime descriptor, so that the object keeps
// the one int of the POSIX side; closing the descriptor closes the handle.

namespace
{

QString systemError(DWORD code = GetLastError())
{
    return qt_error_string(int(code));
}

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// The names Windows gives to devices in every folder ("NUL", "COM1", "con.txt"): opening
// one reaches the device, not a file.
bool isDeviceName(const QString &path)
{
    if (path.startsWith("\\\\.\\") || path.startsWith("//./"))
        return true;
    const QString base =
        QDir::fromNativeSeparators(path).section('/', -1).section('.', 0, 0).trimmed().toUpper();
    static const QStringList names = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (names.contains(base))
        return true;
    return base.size() == 4 && (base.startsWith("COM") || base.startsWith("LPT")) &&
           base.at(3) >= '1' && base.at(3) <= '9';
}

// What a handle that is not a regular file is, for the message that refuses it.
QString handleKind(HANDLE handle)
{
    switch (GetFileType(handle)) {
    case FILE_TYPE_CHAR:
        return "is a character device, not a regular file";
    case FILE_TYPE_PIPE:
        return "is a named pipe, not a regular file";
    case FILE_TYPE_DISK:
        return QString();
    default:
        return "is not a regular file";
    }
}

HANDLE nativeHandle(int descriptor)
{
    return descriptor >= 0 ? reinterpret_cast<HANDLE>(_get_osfhandle(descriptor))
                           : INVALID_HANDLE_VALUE;
}

// ReadFile and WriteFile take 32-bit counts.
DWORD chunk(qint64 size)
{
    return DWORD(qMin<qint64>(size, 1 << 30));
}

} // namespace

PlatformFile::~PlatformFile()
{
    close();
}

bool PlatformFile::failed()
{
    error = systemError();
    return false;
}

PlatformFile::Opened PlatformFile::create(const QString &path)
{
    close();
    if (isDeviceName(path)) {
        error = "is a device name, not a file name";
        return Opened::Failed;
    }
    // Sharing delete lets the journal be renamed aside while it is open, as on POSIX.
    const HANDLE file = CreateFileW(nativePath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = systemError(code);
        return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ? Opened::Exists
                                                                         : Opened::Failed;
    }
    handle = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY);
    if (handle < 0) {
        error = "no file descriptor left";
        CloseHandle(file);
        return Opened::Failed;
    }
    return Opened::Yes;
}

PlatformFile::Opened PlatformFile::openRegular(const QString &path, bool writable)
{
    close();
    // A device is refused by its name and a folder by its attributes, before either is
    // opened: opening a port already reaches the device. A pipe's open does not wait.
    if (isDeviceName(path)) {
        error = "is a device, not a regular file";
        return Opened::NotRegular;
    }
    const std::wstring native = nativePath(path);
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        error = systemError(code);
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Opened::Missing
                                                                            : Opened::Failed;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = "is a folder, not a file";
        return Opened::NotRegular;
    }
    const HANDLE file = CreateFileW(native.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        error = systemError(code);
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Opened::Missing
                                                                            : Opened::Failed;
    }
    const QString kind = handleKind(file);
    if (!kind.isEmpty()) {
        error = kind;
        CloseHandle(file);
        return Opened::NotRegular;
    }
    handle = _open_osfhandle(reinterpret_cast<intptr_t>(file),
                             writable ? _O_BINARY : _O_RDONLY | _O_BINARY);
    if (handle < 0) {
        error = "no file descriptor left";
        CloseHandle(file);
        return Opened::Failed;
    }
    return Opened::Yes;
}

void PlatformFile::close()
{
    if (handle >= 0)
        _close(handle);
    handle = -1;
}

qint64 PlatformFile::size()
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(nativeHandle(handle), &size)) {
        failed();
        return -1;
    }
    return qint64(size.QuadPart);
}

qint64 PlatformFile::read(char *data, qint64 size)
{
    DWORD count = 0;
    if (!ReadFile(nativeHandle(handle), data, chunk(size), &count, nullptr)) {
        if (GetLastError() == ERROR_HANDLE_EOF)
            return 0;
        failed();
        return -1;
    }
    return qint64(count);
}

qint64 PlatformFile::readAt(char *data, qint64 size, qint64 offset)
{
    // A positional read moves the file pointer of a synchronous handle; put it back, as
    // pread leaves the position alone.
    const HANDLE file = nativeHandle(handle);
    LARGE_INTEGER position;
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT)) {
        failed();
        return -1;
    }
    OVERLAPPED at = {};
    at.Offset = DWORD(quint64(offset) & 0xffffffffu);
    at.OffsetHigh = DWORD(quint64(offset) >> 32);
    DWORD count = 0;
    const bool read = ReadFile(file, data, chunk(size), &count, &at);
    const DWORD code = GetLastError();
    SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
    if (!read) {
        if (code == ERROR_HANDLE_EOF)
            return 0;
        error = systemError(code);
        return -1;
    }
    return qint64(count);
}

qint64 PlatformFile::write(const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        DWORD written = 0;
        if (!WriteFile(nativeHandle(handle), data + done, chunk(size - done), &written, nullptr)) {
            failed();
            break;
        }
        done += written;
    }
    return done;
}

bool PlatformFile::truncate(qint64 length)
{
    const HANDLE file = nativeHandle(handle);
    LARGE_INTEGER position;
    position.QuadPart = length;
    return (SetFilePointerEx(file, position, nullptr, FILE_BEGIN) && SetEndOfFile(file)) ||
           failed();
}

qint64 PlatformFile::seekToEnd()
{
    LARGE_INTEGER position;
    if (!SetFilePointerEx(nativeHandle(handle), LARGE_INTEGER{}, &position, FILE_END)) {
        failed();
        return -1;
    }
    return qint64(position.QuadPart);
}

bool PlatformFile::sync()
{
    return FlushFileBuffers(nativeHandle(handle)) || failed();
}

bool PlatformFile::isAt(const QString &path)
{
    // A file is the same when its volume and its index on the volume are.
    BY_HANDLE_FILE_INFORMATION open;
    if (!GetFileInformationByHandle(nativeHandle(handle), &open))
        return failed();
    const HANDLE namedHandle =
        CreateFileW(nativePath(path).c_str(), 0,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (namedHandle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION named;
    const bool known = GetFileInformationByHandle(namedHandle, &named);
    CloseHandle(namedHandle);
    return known && open.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
           open.nFileIndexHigh == named.nFileIndexHigh &&
           open.nFileIndexLow == named.nFileIndexLow;
}

FileStatus fileStatus(const QString &path)
{
    if (isDeviceName(path))
        return {FileStatus::Other, 0, QString()};
    WIN32_FILE_ATTRIBUTE_DATA attributes;
    if (!GetFileAttributesExW(nativePath(path).c_str(), GetFileExInfoStandard, &attributes)) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return {FileStatus::Missing, 0, QString()};
        return {FileStatus::Failed, 0, systemError(code)};
    }
    if (attributes.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))
        return {FileStatus::Other, 0, QString()};
    return {FileStatus::Regular,
            qint64((quint64(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow), QString()};
}

bool replaceFile(const QString &source, const QString &target, QString &error)
{
    // rename() does not replace an existing file here; write-through returns once the
    // move is on the disk.
    const bool replaced = MoveFileExW(nativePath(source).c_str(), nativePath(target).c_str(),
                                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced)
        error = systemError();
    return replaced;
}
