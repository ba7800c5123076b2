#ifndef SINGLESENSORRECORDER_H
#define SINGLESENSORRECORDER_H

#include "autoreconnect.h"
#include "recordercore.h"

#include <QDateTime>
#include <QTimer>
#include <QVector>

#include <cstdint>
#include <memory>

// Records one sensor under a plain file name: once it has answered, a lost link is
// reopened and probed again and again (AutoReconnect), and the recording goes on in the
// same file when the sensor is back. Gives up after giveUpAfterSeconds without it.
class SingleSensorRecorder : public RecorderCore
{
    Q_OBJECT

public:
    explicit SingleSensorRecorder(const RecorderOptions &options, QObject *parent = nullptr);
    ~SingleSensorRecorder() override;

protected:
    int start() override;
    void linkError(const QString &error) override;
    void stopActivity() override;
    void printSummary(const std::vector<int> &written) override;

private:
    void deviceConnected();
    void replyReceived(const QVector<uint16_t> &data);
    void portOpenFailed(const QString &reason);
    void noAnswer();
    void outageBegan();
    void outageEnded();
    void giveUp();

    QTimer pollTimer;
    QTimer answerTimer;
    QTimer giveUpTimer;
    // Made after the recorder's own connections, so that the recorder sees each link
    // error before the reconnecting does.
    std::unique_ptr<AutoReconnect> autoReconnect;
    QDateTime outageStart;
};

#endif
