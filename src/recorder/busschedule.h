#ifndef BUSSCHEDULE_H
#define BUSSCHEDULE_H

#include "reconnectpolicy.h"
#include "registermap.h"

#include <QVector>
#include <QtGlobal>

#include <cstdint>
#include <optional>

// Which sensor on a line of several is asked next, and what becomes of one that does
// not answer. One request is on the line at a time; every period each sensor has one
// turn, in the order given and round the line: a sensor that answered its probe is polled, one that
// never answered or was lost is probed again on its own after the pauses of ReconnectPolicy (1, 2,
// 4 … 30 s) while the others go on. A polled sensor counts as lost after the policy's run of
// time-outs. A sensor without an answer for the give-up time is given up. Times are milliseconds of
// a clock the caller passes in.
class BusSchedule
{
public:
    enum class Request { Probe, Poll };
    struct Turn {
        int sensor = -1;
        Request request = Request::Probe;
    };
    enum class Outcome {
        Nothing,
        Found,   // the first answer of this sensor
        Back,    // it answers again after it was lost
        Lost,    // a polled sensor stopped answering
        Missing, // a probe timed out before it ever answered
    };

    // Every sensor has one turn per period: each is read as often as a single one.
    static constexpr int periodMs = LivePollIntervalMs;
    // At the start, the sensors have this long for a first answer, as a single one has.
    static constexpr qint64 firstAnswerWithinMs = 5000;
    // Beyond a whole exchange, for the sensor's turnaround and the port's latency.
    static constexpr int answerMarginMs = 100;

    // How long a request waits for the first byte of a reply on a line of several
    // sensors: a whole read of the live block (request, reply, frame end) and the
    // margin, at most a period. A sensor starts any reply, the probe's longer one
    // too, after its request and turnaround, so one that has not within this time is
    // silent; it then holds the line for no more than one turn.
    static int responseTimeoutMs(uint32_t baudrate, uint8_t mode);

    // giveUpAfterMs 0: never give up.
    BusSchedule(int sensorCount, qint64 giveUpAfterMs, qint64 nowMs);

    // A new period: every sensor has its turn again.
    void startPeriod();
    // The next request of this period; none when every sensor has had its turn or waits.
    std::optional<Turn> next(qint64 nowMs);
    Outcome answered(const Turn &turn, qint64 nowMs);
    // timedOut tells a request nobody answered from a spoiled reply.
    Outcome failed(const Turn &turn, bool timedOut, qint64 nowMs);
    // The port itself went away: every polled sensor is lost; returns them.
    QVector<int> lineLost(qint64 nowMs);
    // The sensors given up by now that were not yet; they get no more turns.
    QVector<int> giveUp(qint64 nowMs);
    // No more turns for this sensor (its file was refused, say).
    void retire(int sensor);

    bool isPolled(int sensor) const { return sensors.at(sensor).state == State::Polled; }
    bool hasAnswered(int sensor) const { return sensors.at(sensor).answered; }
    bool isRetired(int sensor) const { return sensors.at(sensor).state == State::Retired; }
    qint64 outageStart(int sensor) const { return sensors.at(sensor).outageStartMs; }
    bool allRetired() const;
    // The time for a first answer is over, every sensor has let a probe time out and
    // none has ever answered.
    bool noneAnswers(qint64 nowMs) const;

private:
    enum class State { Probed, Polled, Waiting, Retired };
    struct Sensor {
        State state = State::Probed;
        ReconnectPolicy policy;
        qint64 retryAtMs = 0;
        qint64 outageStartMs = 0;
        bool turnTaken = false;
        bool answered = false;
        bool silent = false; // a probe timed out before it ever answered
    };

    void wait(Sensor &sensor, qint64 nowMs);

    QVector<Sensor> sensors;
    qint64 giveUpAfterMs;
    qint64 startMs;
    int cursor = 0; // where the next turn is looked for
};

#endif
