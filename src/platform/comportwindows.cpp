#include "comport.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <iterator>
#include <tuple>

// Input is an overlapped read of one byte that waits for the next byte to arrive; once it
// has ended, ClearCommError tells how many more are queued and a second read takes them,
// at once since they are there. (Waiting with WaitCommEvent(EV_RXCHAR) instead would need
// the modem lines, which Wine reads with TIOCMGET: a pseudo-terminal has none, and the wait
// ends at once with ERROR_OPERATION_ABORTED.)

struct ComPort::Io {
    HANDLE port = INVALID_HANDLE_VALUE;
    HANDLE inputEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE outputEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED input = {};
    char firstByte = 0;
    bool firstByteRead = false;
    bool waiting = false;
    OVERLAPPED write = {};
    std::string output;
    bool writing = false;

    ~Io()
    {
        CloseHandle(inputEvent);
        CloseHandle(readEvent);
        CloseHandle(outputEvent);
    }
};

namespace
{

// A port name split for sorting: the letters before the number, then the number.
std::tuple<std::wstring, unsigned long, std::wstring> sortKey(const std::wstring &name)
{
    size_t digits = name.size();
    while (digits > 0 && std::iswdigit(name[digits - 1]))
        --digits;
    const std::wstring number = name.substr(digits);
    return {name.substr(0, digits), number.empty() ? 0 : std::wcstoul(number.c_str(), nullptr, 10),
            name};
}

} // namespace

ComPort::ComPort() : io(std::make_unique<Io>()) {}

ComPort::~ComPort()
{
    close();
}

std::vector<ComPort::Listed> ComPort::listed()
{
    std::vector<Listed> ports;
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return ports;
    for (DWORD index = 0;; ++index) {
        // The value's name is the driver's device, its data the COM name.
        wchar_t device[256];
        DWORD deviceSize = DWORD(std::size(device));
        wchar_t name[256] = {};
        DWORD nameBytes = sizeof(name) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = RegEnumValueW(key, index, device, &deviceSize, nullptr, &type,
                                          reinterpret_cast<BYTE *>(name), &nameBytes);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const std::wstring port(name, wcsnlen(name, nameBytes / sizeof(wchar_t)));
        if (!port.empty())
            ports.push_back({port, std::wstring(device, deviceSize)});
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const Listed &a, const Listed &b) { return sortKey(a.name) < sortKey(b.name); });
    return ports;
}

std::wstring ComPort::devicePath(const std::wstring &port)
{
    return port.rfind(L"\\\\.\\", 0) == 0 ? port : L"\\\\.\\" + port;
}

bool ComPort::open(const std::wstring &port, uint32_t baudrate, uint8_t mode)
{
    close();
    io->port = CreateFileW(devicePath(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (io->port == INVALID_HANDLE_VALUE)
        return fail("CreateFileW");

    DCB line = {};
    line.DCBlength = sizeof(line);
    if (!GetCommState(io->port, &line))
        return openFailed("GetCommState");
    line.BaudRate = baudrate;
    line.ByteSize = 8;
    if (mode <= 5) {
        static const BYTE parities[] = {NOPARITY,   NOPARITY,  EVENPARITY,
                                        EVENPARITY, ODDPARITY, ODDPARITY};
        line.Parity = parities[mode];
        line.StopBits = mode % 2 ? TWOSTOPBITS : ONESTOPBIT;
    }
    line.fBinary = TRUE;
    line.fParity = line.Parity != NOPARITY;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    line.fAbortOnError = FALSE;
    if (!SetCommState(io->port, &line))
        return openFailed("SetCommState");

    // No time-outs: a read ends when it has the bytes it asked for, a write when all are
    // written.
    COMMTIMEOUTS timeouts = {};
    if (!SetCommTimeouts(io->port, &timeouts))
        return openFailed("SetCommTimeouts");
    if (!PurgeComm(io->port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR))
        return openFailed("PurgeComm");
    if (!startWait()) {
        close();
        return false;
    }
    return true;
}

void ComPort::close()
{
    if (io->port == INVALID_HANDLE_VALUE)
        return;
    // The pending wait and write write into io until they have ended.
    CancelIoEx(io->port, nullptr);
    DWORD count = 0;
    if (io->waiting)
        GetOverlappedResult(io->port, &io->input, &count, TRUE);
    if (io->writing)
        GetOverlappedResult(io->port, &io->write, &count, TRUE);
    io->waiting = false;
    io->writing = false;
    ResetEvent(io->inputEvent);
    ResetEvent(io->outputEvent);
    CloseHandle(io->port);
    io->port = INVALID_HANDLE_VALUE;
}

bool ComPort::isOpen() const
{
    return io->port != INVALID_HANDLE_VALUE;
}

intptr_t ComPort::handle() const
{
    return reinterpret_cast<intptr_t>(io->port);
}

void *ComPort::inputEvent() const
{
    return io->inputEvent;
}

void *ComPort::outputEvent() const
{
    return io->outputEvent;
}

bool ComPort::startWait()
{
    io->input = {};
    io->input.hEvent = io->inputEvent;
    ResetEvent(io->inputEvent);
    if (ReadFile(io->port, &io->firstByte, 1, nullptr, &io->input)) {
        // Ended at once: the event tells it like any other end.
        SetEvent(io->inputEvent);
    } else if (GetLastError() != ERROR_IO_PENDING) {
        return fail("ReadFile");
    }
    io->waiting = true;
    return true;
}

// The wait's result: 1 when its byte arrived, 0 while it has not ended, -1 on failure.
int ComPort::endWait()
{
    DWORD count = 0;
    const bool ended = GetOverlappedResult(io->port, &io->input, &count, FALSE);
    const DWORD code = ended ? ERROR_SUCCESS : GetLastError();
    if (code == ERROR_IO_INCOMPLETE)
        return 0;
    // The event stays unset until the next wait: whoever watches it is not woken again.
    io->waiting = false;
    io->firstByteRead = ended && count == 1;
    ResetEvent(io->inputEvent);
    if (!ended) {
        fail("ReadFile", code);
        return -1;
    }
    return 1;
}

bool ComPort::takeInput(std::string &bytes)
{
    if (!isOpen() || !io->waiting)
        return true;
    const int ended = endWait();
    if (ended <= 0)
        return ended == 0;
    if (io->firstByteRead)
        bytes += io->firstByte;

    DWORD errors = 0;
    COMSTAT status = {};
    if (!ClearCommError(io->port, &errors, &status))
        return fail("ClearCommError");
    if (status.cbInQue > 0) {
        const size_t start = bytes.size();
        bytes.resize(start + status.cbInQue);
        OVERLAPPED read = {};
        read.hEvent = io->readEvent;
        DWORD count = 0;
        const bool started = ReadFile(io->port, &bytes[start], status.cbInQue, nullptr, &read) ||
                             GetLastError() == ERROR_IO_PENDING;
        if (!started || !GetOverlappedResult(io->port, &read, &count, TRUE)) {
            bytes.resize(start);
            return fail("ReadFile");
        }
        bytes.resize(start + count);
    }
    return startWait();
}

bool ComPort::restartInput()
{
    return !isOpen() || io->waiting || startWait();
}

bool ComPort::clearInput()
{
    if (!isOpen())
        return true;
    if (!PurgeComm(io->port, PURGE_RXCLEAR))
        return fail("PurgeComm");
    // A byte the wait has already taken is as old as those purged.
    if (io->waiting) {
        const int ended = endWait();
        if (ended < 0)
            return false;
        if (ended > 0)
            return startWait();
    }
    return true;
}

bool ComPort::writing() const
{
    return io->writing;
}

bool ComPort::startWrite(const char *data, size_t size)
{
    if (!isOpen() || io->writing)
        return fail("WriteFile", ERROR_BUSY);
    io->output.assign(data, size);
    io->write = {};
    io->write.hEvent = io->outputEvent;
    ResetEvent(io->outputEvent);
    if (WriteFile(io->port, io->output.data(), DWORD(io->output.size()), nullptr, &io->write))
        SetEvent(io->outputEvent);
    else if (GetLastError() != ERROR_IO_PENDING)
        return fail("WriteFile");
    io->writing = true;
    return true;
}

bool ComPort::finishWrite()
{
    if (!io->writing)
        return true;
    DWORD written = 0;
    const bool done = GetOverlappedResult(io->port, &io->write, &written, FALSE);
    const DWORD code = done ? ERROR_SUCCESS : GetLastError();
    if (code == ERROR_IO_INCOMPLETE)
        return true;
    io->writing = false;
    ResetEvent(io->outputEvent);
    if (!done)
        return fail("WriteFile", code);
    return written == io->output.size() || fail("WriteFile", ERROR_WRITE_FAULT);
}

void ComPort::clearError()
{
    DWORD errors = 0;
    COMSTAT status = {};
    if (isOpen())
        ClearCommError(io->port, &errors, &status);
}

bool ComPort::portMissing() const
{
    return lastError == ERROR_FILE_NOT_FOUND || lastError == ERROR_PATH_NOT_FOUND;
}

bool ComPort::openFailed(const char *call)
{
    fail(call);
    close();
    return false;
}

bool ComPort::fail(const char *call)
{
    return fail(call, GetLastError());
}

bool ComPort::fail(const char *call, unsigned long code)
{
    lastCall = call;
    lastError = code;
    return false;
}
