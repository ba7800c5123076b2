// The COM port layer against a real peer, run under Wine by scripts/test-windows.sh:
// the simulator on a Linux pseudo-terminal that the Wine prefix maps to the COM names
// given, each opened at 19200 baud in its mode (0..5 as the link's, after a colon; 0 when
// none is given). For each, a Modbus read request out and its reply back, its CRC checked,
// also after clearing input; a port that does not exist is refused; with --hang-up the
// last port stays open until the peer goes, which must fail the wait. Needs no Qt: built
// with mingw from src/platform/comportwindows.cpp alone.
//
//   comportcheck.exe [--missing COM99] [--hang-up] COM5 COM12:5

#include "comport.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace
{

int failures = 0;

void pass(const std::string &what)
{
    std::printf("PASS: %s\n", what.c_str());
}

void fail(const std::string &what)
{
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
}

std::string narrow(const std::wstring &text)
{
    return std::string(text.begin(), text.end());
}

std::string hex(const std::string &bytes)
{
    std::string text;
    char digits[4];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof(digits), text.empty() ? "%02x" : " %02x", byte);
        text += digits;
    }
    return text;
}

std::string failure(const ComPort &port)
{
    return std::string(port.failedCall()) + " error " + std::to_string(port.error());
}

// The Modbus CRC-16, bit by bit: an oracle apart from the program's own table.
uint16_t crc16(const std::string &bytes)
{
    uint16_t crc = 0xffff;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? uint16_t((crc >> 1) ^ 0xa001) : uint16_t(crc >> 1);
    }
    return crc;
}

std::string withCrc(std::string frame)
{
    const uint16_t crc = crc16(frame);
    frame += char(crc & 0xff);
    frame += char(crc >> 8);
    return frame;
}

// Waits for the port's event, bounded so that a port that never signals fails the check
// instead of hanging it.
bool signalled(void *event)
{
    return WaitForSingleObject(event, 30000) == WAIT_OBJECT_0;
}

const std::string request = withCrc(std::string("\x01\x03\x00\x00\x00\x05", 6));
const size_t replySize = 5 + 2 * 5;

bool sendRequest(ComPort &port, const std::string &name)
{
    if (!port.startWrite(request.data(), request.size()) || !signalled(port.outputEvent()) ||
        !port.finishWrite() || port.writing()) {
        fail(name + ": request not written: " + failure(port));
        return false;
    }
    return true;
}

// Sends a read of registers 0 to 4 of address 1 and checks the reply.
void exchange(ComPort &port, const std::string &name)
{
    if (!sendRequest(port, name))
        return;
    std::string reply;
    int emptyWakeUps = 0;
    while (reply.size() < replySize) {
        if (!signalled(port.inputEvent())) {
            fail(name + ": no reply within 30 s, got [" + hex(reply) + "]");
            return;
        }
        const size_t before = reply.size();
        if (!port.takeInput(reply)) {
            fail(name + ": reading the reply failed: " + failure(port));
            return;
        }
        emptyWakeUps += reply.size() == before;
    }
    const std::string body = reply.substr(0, replySize - 2);
    if (reply.size() == replySize && reply.compare(0, 3, "\x01\x03\x0a", 3) == 0 &&
        withCrc(body) == reply)
        pass(name + ": sent [" + hex(request) + "], reply [" + hex(reply) + "], CRC ok (" +
             std::to_string(emptyWakeUps) + " wake-ups without bytes)");
    else
        fail(name + ": sent [" + hex(request) + "], reply [" + hex(reply) + "] is not a valid " +
             "function-3 reply of five registers");
}

void checkPort(const std::wstring &name, uint8_t mode, bool keepOpen, ComPort &port)
{
    const std::string text = narrow(name);
    const std::string line = "19200 baud, mode " + std::to_string(mode);
    if (!port.open(name, 19200, mode)) {
        fail(text + ": open at " + line + " failed: " + failure(port));
        return;
    }
    pass(text + ": open at " + line + " as " + narrow(ComPort::devicePath(name)));
    exchange(port, text);

    // Windows lets one program at a time open a COM port; Wine does not keep to that for
    // a device, so this is told rather than checked.
    {
        ComPort second;
        if (second.open(name, 19200, mode))
            std::printf("INFO: %s: a second open while open succeeds\n", text.c_str());
        else
            std::printf("INFO: %s: a second open is refused: %s\n", text.c_str(),
                        failure(second).c_str());
    }

    // A whole reply that arrived and was not taken, the wait's byte too, is gone after
    // clearInput(): the next request's reply comes alone.
    if (!sendRequest(port, text))
        return;
    DWORD errors = 0;
    COMSTAT status = {};
    for (int polls = 0; polls < 3000 && status.cbInQue < replySize - 1; ++polls) {
        Sleep(10);
        ClearCommError(reinterpret_cast<HANDLE>(port.handle()), &errors, &status);
    }
    if (status.cbInQue < replySize - 1)
        fail(text + ": the reply to be cleared did not arrive within 30 s");
    else if (!port.clearInput())
        fail(text + ": clearInput failed: " + failure(port));
    else
        exchange(port, text + " after clearInput");
    if (!keepOpen)
        port.close();
}

void waitForHangUp(ComPort &port, const std::string &name)
{
    std::printf("waiting for hang-up of %s\n", name.c_str());
    std::fflush(stdout);
    std::string bytes;
    for (int wakeUps = 0; wakeUps < 1000; ++wakeUps) {
        if (!signalled(port.inputEvent())) {
            fail(name + ": no event within 30 s of waiting for the peer to go");
            return;
        }
        if (!port.takeInput(bytes)) {
            DCB line = {};
            line.DCBlength = sizeof(line);
            // What deviceHungUp() asks: a gone device fails GetCommState.
            const bool gone = !GetCommState(reinterpret_cast<HANDLE>(port.handle()), &line);
            const std::string what = name + ": the peer went: " + failure(port) +
                                     (gone ? ", GetCommState fails" : ", GetCommState works");
            gone ? pass(what) : fail(what);
            return;
        }
    }
    fail(name + ": 1000 wake-ups and the wait never failed");
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    std::wstring missing;
    bool hangUp = false;
    std::vector<std::wstring> names;
    std::vector<uint8_t> modes;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"--missing" && i + 1 < argc)
            missing = argv[++i];
        else if (argument == L"--hang-up")
            hangUp = true;
        else {
            const size_t colon = argument.find(L':');
            names.push_back(argument.substr(0, colon));
            modes.push_back(colon == std::wstring::npos
                                ? 0
                                : uint8_t(std::wcstoul(argument.c_str() + colon + 1, nullptr, 10)));
        }
    }

    std::printf("SERIALCOMM:");
    for (const ComPort::Listed &listed : ComPort::listed())
        std::printf(" %s=%s", narrow(listed.name).c_str(), narrow(listed.device).c_str());
    std::printf("\n");

    ComPort port;
    for (size_t i = 0; i < names.size(); ++i)
        checkPort(names[i], modes[i], hangUp && i + 1 == names.size(), port);
    if (!missing.empty()) {
        ComPort absent;
        if (absent.open(missing, 19200, 0))
            fail(narrow(missing) + ": a missing port opened");
        else if (absent.portMissing())
            pass(narrow(missing) + ": missing, " + failure(absent));
        else
            fail(narrow(missing) + ": missing but " + failure(absent));
    }
    if (hangUp && port.isOpen())
        waitForHangUp(port, narrow(names.back()));
    return failures == 0 ? 0 : 1;
}
