// The reply check and everything a reply reaches: length, CRC and address checks, the
// register words, and the decoders of each reply length. Random bytes rarely carry a
// valid CRC, so every input is also tried with its CRC repaired, and with the expected
// address, so that the checks behind the CRC see as many frames as those before it.

#include "fuzzcheck.h"

#include "livesampler.h"
#include "modbusframe.h"
#include "registermap.h"
#include "wordconversion.h"

#include <QDateTime>

#include <cmath>

namespace
{

const QDateTime firmwareDates[] = {
    QDateTime(),
    QDateTime(QDate(2022, 1, 1), QTime(0, 0)),
    QDateTime(QDate(2023, 6, 1), QTime(0, 0)),
    QDateTime(QDate(2024, 6, 1), QTime(0, 0)),
    QDateTime(QDate(2024, 10, 10), QTime(11, 8, 48), Qt::UTC),
};

QByteArray withCrc(QByteArray frame)
{
    const uint16_t crc = crc16(frame);
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

void decodeWords(const QVector<uint16_t> &words)
{
    if (words.size() == ReplyLength::Live) {
        LiveSampler sampler;
        for (const QDateTime &date : firmwareDates) {
            const LiveSample sample = decodeLiveBlock(words, date);
            FUZZ_CHECK(sample.frameNr == wordsToUint32(words));
            FUZZ_CHECK(sample.systemState == words[7]);
            FUZZ_CHECK(std::isnan(sample.T) == (words[6] == NoValueInt16));
            FUZZ_CHECK(std::isnan(sample.rho) == (words[3] == NoValueUint16));
            FUZZ_CHECK(std::isnan(sample.nuUc) || sample.nuUc >= 0);
            FUZZ_CHECK(!std::isinf(sample.nu) && !std::isinf(sample.eta));
            const std::optional<LiveSample> taken = sampler.take(words, date);
            FUZZ_CHECK(taken.has_value() == (&date == firmwareDates && sample.frameNr != 0));
        }
    } else if (words.size() == ReplyLength::Info) {
        const DeviceIdentity identity = decodeIdentity(words);
        FUZZ_CHECK(formatSerialNumber(identity.serialNumber).size() == 11);
        FUZZ_CHECK(formatDeviceDate(identity.firmwareDate).size() == 19);
    } else if (words.size() == ReplyLength::Mapping) {
        for (int i = 0; i < words.size(); i += 2)
            wordsToFloat(words.mid(i, 2));
    }
}

void checkFrame(const QByteArray &frame, uint8_t expectedAddress)
{
    const ModbusReply reply = checkReply(frame, expectedAddress);
    const int n = frame.size();
    if (n <= 4) {
        FUZZ_CHECK(reply.status == ModbusReply::TooShort);
        FUZZ_CHECK(reply.error == "message too short");
        return;
    }
    const uint16_t received = uint16_t(uint8_t(frame[n - 2]) | uint8_t(frame[n - 1]) << 8);
    if (crc16(frame.left(n - 2)) != received) {
        FUZZ_CHECK(reply.status == ModbusReply::CrcError);
        FUZZ_CHECK(reply.error.startsWith("CRC error: "));
        return;
    }
    if (uint8_t(frame[0]) != expectedAddress) {
        FUZZ_CHECK(reply.status == ModbusReply::InvalidAddress);
        return;
    }
    FUZZ_CHECK(reply.status == ModbusReply::Valid);
    FUZZ_CHECK(reply.function == uint8_t(frame[1]));
    FUZZ_CHECK(reply.payload.size() == (n - 4) % 256);
    FUZZ_CHECK(frame.mid(2).startsWith(reply.payload));
    if (reply.function != ModbusFunction::ReadHoldingRegisters)
        return;
    const QVector<uint16_t> words = decodeReadPayload(reply.payload);
    FUZZ_CHECK(words.size() == qMax(0, (reply.payload.size() - 1) / 2));
    for (int i = 0; i < words.size(); ++i)
        FUZZ_CHECK(words[i] == bytesToUint16(reply.payload.mid(1 + 2 * i, 2)));
    decodeWords(words);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fixFuzzEnvironment();
    return 0;
}

// The first byte is the address the link expects; the rest is what came down the line.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t expectedAddress = data[0];
    const QByteArray frame(reinterpret_cast<const char *>(data + 1), int(size - 1));
    checkFrame(frame, expectedAddress);
    if (frame.size() < 3)
        return 0;

    QByteArray body = frame.left(frame.size() - 2);
    checkFrame(withCrc(body), expectedAddress);
    body[0] = char(expectedAddress);
    checkFrame(withCrc(body), expectedAddress);
    return 0;
}
