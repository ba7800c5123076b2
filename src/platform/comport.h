#ifndef COMPORT_H
#define COMPORT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A Windows COM port opened for overlapped I/O, without Qt: the link's line settings,
// one wait for received bytes (an overlapped read of one byte) and one write at a time.
// Each of the two ends by setting an event (a HANDLE, here void *) that the caller
// watches; the caller then finishes it with takeInput() or finishWrite(). Windows only:
// comportwindows.cpp.
class ComPort
{
public:
    // A port Windows lists under HARDWARE\DEVICEMAP\SERIALCOMM: "COM5" and the driver's
    // device, "\Device\Serial0".
    struct Listed {
        std::wstring name;
        std::wstring device;
    };

    ComPort();
    ~ComPort();
    ComPort(const ComPort &) = delete;
    ComPort &operator=(const ComPort &) = delete;

    // The COM ports Windows lists, by number (COM2 before COM10).
    static std::vector<Listed> listed();
    // "COM10" and above are reached only through the device namespace, "\\.\COM10".
    static std::wstring devicePath(const std::wstring &port);

    // Opens port ("COM5", "COM12", "\\.\COM12") at baudrate with 8 data bits and mode 0..5:
    // none, none, even, even, odd, odd parity with 1, 2, 1, 2, 1, 2 stop bits; another mode
    // leaves parity and stop bits as they were. No flow control, DTR and RTS on, both
    // buffers purged, and the wait for input started. False: error() says why.
    bool open(const std::wstring &port, uint32_t baudrate, uint8_t mode);
    void close();
    bool isOpen() const;
    // The Win32 handle, for deviceHungUp().
    intptr_t handle() const;

    // Set when bytes have arrived or the wait failed.
    void *inputEvent() const;
    // Appends what has arrived to bytes and starts the next wait. False when the wait or
    // the read failed; the caller then asks whether the device is gone, and otherwise
    // calls clearError() and restartInput().
    bool takeInput(std::string &bytes);
    bool restartInput();
    // Drops what has arrived and was not taken.
    bool clearInput();

    // Set when the write started by startWrite() has ended.
    void *outputEvent() const;
    bool writing() const;
    // Starts writing a copy of the bytes; false when it could not start.
    bool startWrite(const char *data, size_t size);
    // Ends the write: false when it failed or wrote fewer bytes than it was given.
    bool finishWrite();

    // Clears the line's error state (parity, framing, overrun) so that I/O goes on.
    void clearError();

    // The system error code of the last failure, and the call that failed.
    unsigned long error() const { return lastError; }
    const char *failedCall() const { return lastCall; }
    // Whether the last failure says that there is no such port.
    bool portMissing() const;

private:
    struct Io;

    // Records the failure of call; closes the port after a failed open.
    bool fail(const char *call);
    bool openFailed(const char *call);
    bool fail(const char *call, unsigned long code);
    bool startWait();
    int endWait();

    std::unique_ptr<Io> io;
    unsigned long lastError = 0;
    const char *lastCall = "";
};

#endif
