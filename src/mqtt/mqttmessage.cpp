#include "mqttmessage.h"

#include "systemstatetext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <charconv>
#include <cmath>
#include <limits>

namespace
{

void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
    for (const char c : text.toUtf8()) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (uchar(c) < 0x20) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04x", unsigned(uchar(c)));
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

// A quantity as the CSV file writes it; JSON has no NaN or infinity, so those are null.
void appendQuantity(QByteArray &out, const char *name, double value, int decimals)
{
    out += ",\"";
    out += name;
    out += "\":";
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[maxCsvLineLength];
    out.append(text, int(formatCsvFixed(text, value, decimals) - text));
}

// A quantity read back: null is NaN; a field that is missing or not a number fails.
bool readQuantity(const QJsonObject &object, const char *name, double &value)
{
    const QJsonValue field = object.value(QLatin1String(name));
    if (field.isNull()) {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    if (!field.isDouble())
        return false;
    value = field.toDouble();
    return true;
}

} // namespace

std::optional<MqttUrl> parseMqttUrl(const QString &text, QString &error)
{
    static const QRegularExpression pattern(
        "^(mqtts?)://(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9._-]+)(?::([0-9]{1,5}))?/?$");
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        error = "mqtt://HOST:PORT or mqtts://HOST:PORT";
        return std::nullopt;
    }
    MqttUrl url;
    url.tls = match.captured(1) == "mqtts";
    url.host = match.captured(2);
    if (url.host.startsWith('['))
        url.host = url.host.mid(1, url.host.size() - 2);
    url.port = url.tls ? 8883 : 1883;
    if (!match.captured(3).isEmpty()) {
        url.port = match.captured(3).toInt();
        if (url.port < 1 || url.port > 65535) {
            error = "a port from 1 to 65535 in mqtt://HOST:PORT";
            return std::nullopt;
        }
    }
    return url;
}

QString mqttUrlText(const MqttUrl &url)
{
    const QString host = url.host.contains(':') ? "[" + url.host + "]" : url.host;
    return QString("%1://%2:%3").arg(url.tls ? "mqtts" : "mqtt", host).arg(url.port);
}

QString topicPrefixError(const QString &prefix)
{
    if (prefix.isEmpty())
        return "a topic prefix is not empty";
    if (prefix.contains('+') || prefix.contains('#'))
        return "no wildcards + or # in a topic prefix";
    if (prefix.split('/').contains(QString()))
        return "no empty topic levels (leading, trailing or doubled /)";
    if (prefix.contains(QChar(0)))
        return "no NUL character in a topic prefix";
    if (prefix.toUtf8().size() > 1000)
        return "a topic prefix of at most 1000 bytes";
    return {};
}

QString sampleTopic(const QString &prefix, const QString &serial)
{
    return prefix + '/' + serial + "/sample";
}

QString identityTopic(const QString &prefix, const QString &serial)
{
    return prefix + '/' + serial + "/identity";
}

QString statusTopic(const QString &prefix, const QString &serial)
{
    return prefix + '/' + serial + "/status";
}

QByteArray isoTimeWithOffset(const QDateTime &timestamp)
{
    char text[64];
    char *end = formatCsvDateTime(text, timestamp);
    const int offset = timestamp.offsetFromUtc() / 60;
    const int magnitude = std::abs(offset);
    *end++ = offset < 0 ? '-' : '+';
    end += std::snprintf(end, 8, "%02d:%02d", magnitude / 60, magnitude % 60);
    return QByteArray(text, int(end - text));
}

QByteArray sampleMessage(const QString &serial, const LiveSample &sample, qint64 seq)
{
    QByteArray out;
    out.reserve(256);
    out += "{\"serial\":";
    appendJsonString(out, serial);
    out += ",\"time\":\"";
    out += isoTimeWithOffset(sample.timestamp);
    out += "\",\"frame\":";
    out += QByteArray::number(sample.frameNr);
    out += ",\"state\":";
    out += QByteArray::number(sample.systemState);
    out += ",\"stateText\":";
    appendJsonString(out, systemStateText(sample.systemState, false));
    appendQuantity(out, "nu", sample.nu, 2);
    appendQuantity(out, "eta", sample.eta, 2);
    appendQuantity(out, "rho", sample.rho, 1);
    appendQuantity(out, "T", sample.T, 2);
    appendQuantity(out, "nuUc", sample.nuUc, 2);
    if (seq > 0) {
        out += ",\"seq\":";
        out += QByteArray::number(seq);
    }
    out += '}';
    return out;
}

QByteArray identityMessage(const DeviceIdentity &identity)
{
    QByteArray out = "{\"serial\":";
    appendJsonString(out, formatSerialNumber(identity.serialNumber));
    out += ",\"hardwareRevision\":";
    out += QByteArray::number(identity.hardwareRevision);
    out += ",\"firmwareDate\":";
    if (identity.firmwareDate.isValid())
        out += '"' + isoTimeWithOffset(identity.firmwareDate.toLocalTime()) + '"';
    else
        out += "null";
    out += '}';
    return out;
}

std::optional<ReceivedSample> parseSampleMessage(const QByteArray &message)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(message, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    ReceivedSample received;
    received.serial = object.value("serial").toString();
    const QDateTime time =
        QDateTime::fromString(object.value("time").toString(), Qt::ISODateWithMs);
    const double frame = object.value("frame").toDouble(-1);
    const double state = object.value("state").toDouble(-1);
    if (received.serial.isEmpty() || !time.isValid() || frame < 0 || frame > 4294967295.0 ||
        frame != std::floor(frame) || state < 0 || state > 65535 || state != std::floor(state))
        return std::nullopt;
    LiveSample &sample = received.sample;
    sample.timestamp = time.toLocalTime();
    sample.frameNr = uint32_t(frame);
    sample.systemState = uint16_t(state);
    // Messages of recorders before seq have none.
    const QJsonValue seq = object.value("seq");
    if (!seq.isUndefined()) {
        const double number = seq.toDouble(-1);
        if (number < 1 || number > 9007199254740992.0 || number != std::floor(number))
            return std::nullopt;
        received.seq = qint64(number);
    }
    if (!readQuantity(object, "nu", sample.nu) || !readQuantity(object, "eta", sample.eta) ||
        !readQuantity(object, "rho", sample.rho) || !readQuantity(object, "T", sample.T) ||
        !readQuantity(object, "nuUc", sample.nuUc))
        return std::nullopt;
    return received;
}

namespace
{

// The largest values the sensor's registers carry (see decodeLiveBlock): nu and eta as
// thousandths in 32 bits, eta of older firmware as nu times rho, rho and nuUc as tenths in
// 16 bits, T as signed hundredths in 16 bits; a little above, for the rounding to the CSV's
// decimals.
struct QuantityRange {
    const char *name;
    double lowest;
    double highest;
    int decimals;
};
const QuantityRange quantityRanges[] = {
    {"nu", 0, 4294967.3, 2},   {"eta", 0, 28147470, 2}, {"rho", 0, 6553.5, 1},
    {"T", -327.68, 327.67, 2}, {"nuUc", 0, 6553.5, 2},
};

double quantityOf(const LiveSample &sample, int index)
{
    const double values[] = {sample.nu, sample.eta, sample.rho, sample.T, sample.nuUc};
    return values[index];
}

// What is wrong with a parsed sample's values; empty when a recorder could have sent them.
QString valueError(const LiveSample &sample)
{
    const int year = sample.timestamp.date().year();
    if (year < 2000 || year > 2099)
        return "a time outside the years 2000 to 2099";
    for (int i = 0; i < 5; ++i) {
        const QuantityRange &range = quantityRanges[i];
        const double value = quantityOf(sample, i);
        if (std::isnan(value))
            continue;
        if (!(value >= range.lowest && value <= range.highest))
            return QString("%1 outside %2 to %3")
                .arg(range.name)
                .arg(range.lowest)
                .arg(range.highest);
        // The CSV's decimals: a value with more would be written as another one.
        char text[maxCsvLineLength];
        char *end = formatCsvFixed(text, value, range.decimals);
        double written = 0;
        if (!parseCsvDouble(text, end, written) || written != value)
            return QString("%1 with more than %2 decimals").arg(range.name).arg(range.decimals);
    }
    return {};
}

} // namespace

std::optional<ReceivedSample> checkSampleMessage(const QString &prefix, const QString &topic,
                                                 const QByteArray &payload, QString &reason)
{
    if (payload.size() > maxSampleMessageBytes) {
        reason = QString("a message longer than the %1 bytes of a sample message")
                     .arg(maxSampleMessageBytes);
        return std::nullopt;
    }
    const QString head = prefix + '/';
    const QString tail = "/sample";
    std::optional<QString> topicSerial;
    if (topic.startsWith(head) && topic.endsWith(tail))
        topicSerial =
            normalizedSerial(topic.mid(head.size(), topic.size() - head.size() - tail.size()));
    if (!topicSerial) {
        reason = "not a sample topic " + prefix + "/00-12-AB-CD/sample";
        return std::nullopt;
    }
    std::optional<ReceivedSample> received = parseSampleMessage(payload);
    if (!received) {
        reason = "not a sample message";
        return std::nullopt;
    }
    const std::optional<QString> serial = normalizedSerial(received->serial);
    if (!serial) {
        reason = "serial \"" + received->serial + "\" is not a serial number such as 00-12-AB-CD";
        return std::nullopt;
    }
    if (*serial != *topicSerial) {
        reason = "serial " + *serial + " on the topic of " + *topicSerial;
        return std::nullopt;
    }
    received->serial = *serial;
    reason = valueError(received->sample);
    if (!reason.isEmpty())
        return std::nullopt;
    return received;
}

QString printableText(const QString &text, int maxLength)
{
    QString out;
    for (const QChar c : text) {
        if (out.size() >= maxLength) {
            out += "...";
            break;
        }
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            out += QString("\\u{%1}").arg(c.unicode(), 4, 16, QChar('0'));
        else
            out += c;
    }
    return out;
}

std::optional<QString> normalizedSerial(const QString &text)
{
    static const QRegularExpression pattern("^[0-9A-Fa-f]{2}(-[0-9A-Fa-f]{2}){3}$");
    if (!pattern.match(text).hasMatch())
        return std::nullopt;
    return text.toUpper();
}
