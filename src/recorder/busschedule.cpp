#include "busschedule.h"

#include "modbus.h"
#include "modbusframe.h"
#include "registermap.h"

#include <algorithm>
#include <cmath>

int BusSchedule::responseTimeoutMs(uint32_t baudrate, uint8_t mode)
{
    const double readMs =
        lineTimeMs(ReadRequestBytes + readReplyBytes(ReplyLength::Live), baudrate, mode);
    return std::min(periodMs, int(std::ceil(readMs)) + Modbus::frameEndMs + answerMarginMs);
}

BusSchedule::BusSchedule(int sensorCount, qint64 giveUpAfterMs, qint64 nowMs)
    : sensors(sensorCount), giveUpAfterMs(giveUpAfterMs), startMs(nowMs)
{
    for (Sensor &sensor : sensors)
        sensor.outageStartMs = nowMs;
}

void BusSchedule::startPeriod()
{
    for (Sensor &sensor : sensors)
        sensor.turnTaken = false;
}

std::optional<BusSchedule::Turn> BusSchedule::next(qint64 nowMs)
{
    // Round the line from where the last turn ended: when a period is too short for
    // every sensor, the last in the order still get their turns.
    for (int step = 0; step < sensors.size(); ++step) {
        const int index = (cursor + step) % int(sensors.size());
        Sensor &sensor = sensors[index];
        if (sensor.turnTaken || sensor.state == State::Retired ||
            (sensor.state == State::Waiting && nowMs < sensor.retryAtMs))
            continue;
        sensor.turnTaken = true;
        cursor = index + 1;
        return Turn{index, sensor.state == State::Polled ? Request::Poll : Request::Probe};
    }
    return std::nullopt;
}

BusSchedule::Outcome BusSchedule::answered(const Turn &turn, qint64)
{
    Sensor &sensor = sensors[turn.sensor];
    if (sensor.state == State::Retired)
        return Outcome::Nothing;
    if (turn.request == Request::Poll || sensor.state == State::Polled) {
        sensor.policy.replyArrived();
        return Outcome::Nothing;
    }
    const bool first = !sensor.answered;
    sensor.state = State::Polled;
    sensor.answered = true;
    sensor.policy.reconnected();
    return first ? Outcome::Found : Outcome::Back;
}

BusSchedule::Outcome BusSchedule::failed(const Turn &turn, bool timedOut, qint64 nowMs)
{
    Sensor &sensor = sensors[turn.sensor];
    switch (sensor.state) {
    case State::Retired:
        return Outcome::Nothing;
    case State::Polled:
        if (!timedOut || !sensor.policy.timedOut())
            return Outcome::Nothing;
        sensor.outageStartMs = nowMs;
        wait(sensor, nowMs);
        return Outcome::Lost;
    case State::Probed:
    case State::Waiting:
        break;
    }
    wait(sensor, nowMs);
    if (sensor.answered || sensor.silent || !timedOut)
        return Outcome::Nothing;
    sensor.silent = true;
    return Outcome::Missing;
}

void BusSchedule::wait(Sensor &sensor, qint64 nowMs)
{
    sensor.state = State::Waiting;
    sensor.retryAtMs = nowMs + sensor.policy.nextPauseMs();
}

QVector<int> BusSchedule::lineLost(qint64 nowMs)
{
    QVector<int> lost;
    for (int index = 0; index < sensors.size(); ++index) {
        Sensor &sensor = sensors[index];
        if (sensor.state != State::Polled)
            continue;
        sensor.outageStartMs = nowMs;
        wait(sensor, nowMs);
        lost.append(index);
    }
    return lost;
}

QVector<int> BusSchedule::giveUp(qint64 nowMs)
{
    QVector<int> given;
    if (giveUpAfterMs <= 0)
        return given;
    for (int index = 0; index < sensors.size(); ++index) {
        Sensor &sensor = sensors[index];
        if (sensor.state == State::Polled || sensor.state == State::Retired ||
            nowMs - sensor.outageStartMs < giveUpAfterMs)
            continue;
        sensor.state = State::Retired;
        given.append(index);
    }
    return given;
}

void BusSchedule::retire(int sensor)
{
    sensors[sensor].state = State::Retired;
}

bool BusSchedule::allRetired() const
{
    return std::all_of(sensors.begin(), sensors.end(),
                       [](const Sensor &sensor) { return sensor.state == State::Retired; });
}

bool BusSchedule::noneAnswers(qint64 nowMs) const
{
    return nowMs - startMs >= firstAnswerWithinMs &&
           std::all_of(sensors.begin(), sensors.end(),
                       [](const Sensor &sensor) { return !sensor.answered && sensor.silent; });
}
