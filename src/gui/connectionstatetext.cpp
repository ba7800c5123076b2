#include "connectionstatetext.h"

#include "networkaddress.h"

#include <QCoreApplication>

namespace
{

QString tr(const char *text)
{
    return QCoreApplication::translate("ConnectionStateText", text);
}

} // namespace

QString lineSettingsText(uint8_t mode)
{
    switch (mode) {
    case 0:
        return tr("parity none, 1 stop bit");
    case 1:
        return tr("parity none, 2 stop bits");
    case 2:
        return tr("parity even, 1 stop bit");
    case 3:
        return tr("parity even, 2 stop bits");
    case 4:
        return tr("parity odd, 1 stop bit");
    case 5:
        return tr("parity odd, 2 stop bits");
    default:
        return tr("parity and stop bits as the port had them");
    }
}

namespace
{

// Over a network address the line's baud rate and parity belong to the device server or
// gateway, so the texts name the address alone.
QString networkStateText(LinkState state, const LinkSettings &settings)
{
    const QString port = settings.portName;
    switch (state) {
    case LinkState::Connecting:
        return tr("Connecting to %1, address %2 ...").arg(port).arg(settings.address);
    case LinkState::ProbeUnanswered:
        return tr("Connecting to %1: no answer from address %2: check the address and the "
                  "serial settings of the device server or gateway")
            .arg(port)
            .arg(settings.address);
    case LinkState::Connected:
        return tr("Connected to %1, address %2").arg(port).arg(settings.address);
    default:
        return QString();
    }
}

} // namespace

QString connectionStateText(LinkState state, const LinkSettings &settings)
{
    const QString port = settings.portName;
    if (networkKind(port) != NetworkKind::None) {
        const QString text = networkStateText(state, settings);
        if (!text.isEmpty())
            return text;
    }
    switch (state) {
    case LinkState::NotConnected:
        return tr("Not connected");
    case LinkState::OpenFailed:
        return tr("Not connected: cannot open %1").arg(port);
    case LinkState::Connecting:
        return tr("Connecting to %1, %2 baud, %3, address %4 ...")
            .arg(port)
            .arg(settings.baudrate)
            .arg(lineSettingsText(settings.mode))
            .arg(settings.address);
    case LinkState::ProbeUnanswered:
        return tr("Connecting to %1: no answer from address %2 at %3 baud, %4: check the cable, "
                  "the address and the line settings")
            .arg(port)
            .arg(settings.address)
            .arg(settings.baudrate)
            .arg(lineSettingsText(settings.mode));
    case LinkState::Connected:
        return tr("Connected to %1, %2 baud, %3, address %4")
            .arg(port)
            .arg(settings.baudrate)
            .arg(lineSettingsText(settings.mode))
            .arg(settings.address);
    case LinkState::ConnectionLost:
        return tr("Connection lost: %1").arg(port);
    }
    return QString();
}

QString noAnswerText(const QDateTime &lastAnswer, int timeouts)
{
    const QString since = lastAnswer.toString("HH:mm:ss");
    if (timeouts == 1)
        return tr("No answer since %1 (1 time-out)").arg(since);
    return tr("No answer since %1 (%2 time-outs)").arg(since).arg(timeouts);
}
