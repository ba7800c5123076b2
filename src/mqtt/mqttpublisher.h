#ifndef MQTTPUBLISHER_H
#define MQTTPUBLISHER_H

#include "mqttconnection.h"
#include "mqttposition.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>

// Publishes one sensor's recording file to an MQTT broker, line by line. The file is
// the source of truth: the publisher reads complete lines from the file, from the end
// of the last line the broker has acknowledged, and turns each into a sample message.
// While the broker is away the file grows as always; when it is back, the publisher
// goes on from there, in order, so a consumer sees every sample at least once (a
// message in flight when the connection broke may come twice). At most maxInFlight
// samples wait for their acknowledgement, however far behind the publisher is.
class MqttPublisher : public QObject
{
    Q_OBJECT

public:
    static constexpr int maxInFlight = 100;

    // Publishes the lines of filePath from byte startOffset on.
    MqttPublisher(const MqttSettings &settings, const DeviceIdentity &identity,
                  const QString &filePath, qint64 startOffset, QObject *parent = nullptr);

    // Keeps how far the broker acknowledged the file next to it (see MqttPosition) and,
    // when an earlier run on this file left a position that still holds, publishes from
    // there instead of startOffset. Before start().
    void rememberPosition();
    void start();
    // After the file's last line: publishes what is left and then "offline", waiting as
    // long as the broker keeps acknowledging, and emits closed().
    void close();
    QString filePath() const { return file.fileName(); }
    QString serialText() const { return serial; }
    // The samples the broker has acknowledged.
    qint64 samplesAcknowledged() const { return acknowledgedSamples; }
    // After closed(): the samples of the file the broker has not acknowledged; a later run
    // on the same file publishes them.
    qint64 samplesWaiting() const { return waitingSamples; }

    // The sensor's retained status: "online" while it answers, "no-answer" once the
    // recorder counts it lost, "offline" at the end and as the last will.
    void setAnswering(bool answering);

public slots:
    // The file has grown.
    void fileGrew();

signals:
    void report(QString line);
    void closed();

private slots:
    void connected();
    void connectionLost();
    void published(int messageId);

private:
    struct InFlight {
        int messageId;
        qint64 lineEnd; // the file offset after the line
        qint64 seqEnd;  // the data lines up to lineEnd
        bool acknowledged;
    };

    void publishLines();
    // The next complete line at readOffset, without its line end; false when there is none.
    bool nextLine(QByteArray &line, qint64 &lineEnd);
    void finishClosing();
    // The data lines of the file before offset, a line boundary.
    qint64 dataLinesBefore(qint64 offset);
    void savePosition();
    QString positionDestination() const;

    MqttSettings settings;
    DeviceIdentity identity;
    QString serial;
    QString sampleTopicName;
    QString statusTopicName;
    MqttConnection connection;
    QFile file;
    qint64 acknowledgedOffset;
    qint64 readOffset;
    qint64 acknowledgedSeq = 0; // the data lines before acknowledgedOffset
    qint64 readSeq = 0;         // the data lines before readOffset
    QByteArray buffer;          // file bytes from bufferOffset on
    qint64 bufferOffset = 0;
    std::deque<InFlight> inFlight;
    qint64 acknowledgedSamples = 0;
    qint64 waitingSamples = 0;
    bool closing = false;
    bool answering = true;
    bool done = false;
    int offlineMessageId = -1;
    QTimer closeTimer; // restarted by every acknowledgement while closing
    bool remembering = false;
    // The offset in the position file; -1 before there is one for this file.
    qint64 savedOffset = -1;
    QTimer saveTimer; // at most one position write a second
};

#endif
