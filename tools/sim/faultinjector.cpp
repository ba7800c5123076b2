#include "faultinjector.h"

FaultInjector::FaultInjector(const LineFaults &faults, uint64_t seed) : faults(faults), random(seed)
{
}

bool FaultInjector::draw(double probability)
{
    return std::uniform_real_distribution<double>(0, 1)(random) < probability;
}

FaultPlan FaultInjector::next()
{
    FaultPlan plan;
    plan.drop = draw(faults.drop);
    plan.exception = draw(faults.exception);
    plan.badCrc = draw(faults.badCrc);
    plan.wrongAddress = draw(faults.wrongAddress);
    plan.garbage = draw(faults.garbage);
    plan.split = draw(faults.split);
    return plan;
}

uint16_t FaultInjector::crc16(const QByteArray &bytes)
{
    uint16_t crc = 0xFFFF;
    for (char byte : bytes) {
        crc ^= uint8_t(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

Transmission FaultInjector::corrupt(const QByteArray &reply, const FaultPlan &plan)
{
    QByteArray bytes = reply;
    if (plan.wrongAddress && bytes.size() >= 4) {
        // Another sensor's reply, whole and with a valid CRC.
        bytes[0] = char(uint8_t(bytes[0]) % 247 + 1);
        bytes.chop(2);
        const uint16_t crc = crc16(bytes);
        bytes.append(char(crc & 0xFF));
        bytes.append(char(crc >> 8));
    }
    if (plan.badCrc && bytes.size() >= 2)
        bytes[bytes.size() - 1] = char(bytes[bytes.size() - 1] ^ 0x5A);
    return withGarbageAndSplit(bytes, plan);
}

Transmission FaultInjector::corruptMbap(const QByteArray &reply, const FaultPlan &plan)
{
    QByteArray bytes = reply;
    if (plan.wrongAddress && bytes.size() >= 7)
        bytes[6] = char(uint8_t(bytes[6]) % 247 + 1);
    if (plan.badCrc && bytes.size() >= 2)
        bytes[0] = char(bytes[0] ^ 0x5A);
    return withGarbageAndSplit(bytes, plan);
}

Transmission FaultInjector::withGarbageAndSplit(QByteArray bytes, const FaultPlan &plan)
{
    Transmission transmission;
    if (plan.garbage) {
        const int count = std::uniform_int_distribution<int>(1, 3)(random);
        QByteArray stray;
        for (int i = 0; i < count; ++i)
            stray.append(char(std::uniform_int_distribution<int>(0, 255)(random)));
        bytes.prepend(stray);
    }
    if (plan.split && bytes.size() >= 2)
        transmission.splitAt = bytes.size() / 2;
    transmission.bytes = bytes;
    return transmission;
}
