#include "linkspy.h"

#include "modbusframe.h"
#include "ptypair.h"
#include "replyframes.h"

#include <QTest>

LinkSpy::LinkSpy()
{
    QObject::connect(&modbus, &Modbus::linkStateChanged,
                     [this](LinkState state, const LinkSettings &) { states << state; });
}

QStringList LinkSpy::errorTexts() const
{
    QStringList texts;
    for (const QList<QVariant> &arguments : errors)
        texts << arguments.at(0).toString();
    return texts;
}

bool LinkSpy::waitForErrors(int count, int timeoutMs)
{
    return QTest::qWaitFor([&] { return errors.count() >= count; }, timeoutMs);
}

bool LinkSpy::connectTo(const QString &port, uint32_t baudrate, uint8_t address)
{
    const int before = connected.count();
    modbus.connectDevice(port, baudrate, 0, address);
    return QTest::qWaitFor([&] { return connected.count() > before; }, 30000);
}

bool LinkSpy::connectTo(PtyPair &pty, uint8_t address)
{
    const int repliesBefore = replies.count();
    modbus.connectDevice(pty.slavePath(), 19200, 0, address);
    if (pty.readFrame() != buildReadRequest(address, 0, Registers::InfoLast))
        return false;
    pty.write(readReplyFrame(infoBlock(), address));
    return QTest::qWaitFor([&] { return replies.count() == repliesBefore + 1; }, 30000);
}

QString LinkSpy::errorAfter(int signalCount, int timeoutMs)
{
    QString text;
    const bool found = QTest::qWaitFor(
        [&] {
            for (int i = signalCount; i < errors.count(); ++i) {
                text = errors.at(i).at(0).toString();
                if (!text.isEmpty())
                    return true;
            }
            return false;
        },
        timeoutMs);
    return found ? text : QString();
}

QVector<uint16_t> LinkSpy::read(uint8_t firstReg, uint8_t lastReg)
{
    const int replyCount = replies.count();
    const int errorCount = errors.count();
    modbus.readRegisters(firstReg, lastReg);
    if (!waitForErrors(errorCount + 1) || replies.count() == replyCount)
        return {};
    return replies.last().at(0).value<QVector<uint16_t>>();
}

QString LinkSpy::write(const QVector<RegisterWrite> &writes)
{
    const int errorCount = errors.count();
    for (const RegisterWrite &write : writes)
        modbus.writeRegisters(write.firstReg, write.data);
    QString failure;
    const bool answered = QTest::qWaitFor(
        [&] {
            for (int i = errorCount; i < errors.count(); ++i) {
                failure = errors.at(i).at(0).toString();
                if (!failure.isEmpty())
                    return true;
            }
            return errors.count() - errorCount >= writes.size();
        },
        30000);
    if (failure.isEmpty() && !answered)
        return QStringLiteral("no answer");
    return failure;
}
