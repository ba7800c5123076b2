#include "portopenfailure.h"

#include <windows.h>

// Windows tells the causes apart by the error of opening the port again: a COM port is
// open to one program at a time, and a second one is refused as access denied.

namespace
{

// "COM10" and above are reached only through the device namespace, "\\.\COM10".
QString devicePath(const QString &port)
{
    return port.startsWith("\\\\.\\") ? port : "\\\\.\\" + port;
}

} // namespace

PortOpenFailure diagnosePortOpenFailure(const QString &path, bool deviceNotFound,
                                        const QString &errorString, const QStringList &)
{
    PortOpenFailure failure;
    DWORD code = ERROR_FILE_NOT_FOUND;
    if (!deviceNotFound) {
        const HANDLE port =
            CreateFileW(devicePath(path).toStdWString().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                        nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        code = port == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (port != INVALID_HANDLE_VALUE)
            CloseHandle(port);
    }
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        failure.cause = PortOpenFailure::NotFound;
        failure.text = QString("%1 was not found: the adapter is unplugged, or Windows gave it "
                               "another COM number. Plug it in or choose another port.")
                           .arg(path);
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        failure.cause = PortOpenFailure::Busy;
        failure.text = QString("%1 is busy: in use by another program (a terminal, another "
                               "QUVA-Explorer, a vendor tool). Close it, or choose another port.")
                           .arg(path);
        break;
    case ERROR_PRIVILEGE_NOT_HELD:
        failure.cause = PortOpenFailure::PermissionDenied;
        failure.text = QString("Access denied to %1: Windows does not let this user open it. "
                               "Ask the administrator for access to the device.")
                           .arg(path);
        break;
    default:
        failure.text = QString("%1 could not be opened: %2.").arg(path, errorString);
        break;
    }
    return failure;
}
