#ifndef RECONNECTPOLICY_H
#define RECONNECTPOLICY_H

// When a connected link counts as lost, and how long to wait between attempts to get
// it back: lost on "connection lost" or after timeoutsInARow time-outs without a reply
// between them; attempts 1, 2, 4 … up to 30 s apart.
class ReconnectPolicy
{
public:
    static constexpr int timeoutsInARow = 10;
    static constexpr int firstPauseMs = 1000;
    static constexpr int longestPauseMs = 30000;

    void replyArrived() { timeouts = 0; }
    // True when this time-out makes the link count as lost.
    bool timedOut() { return ++timeouts >= timeoutsInARow; }
    // The pause before the next attempt; each call doubles the next one.
    int nextPauseMs();
    // Connected again: the next outage starts with the first pause.
    void reconnected();

private:
    int timeouts = 0;
    int pauseMs = firstPauseMs;
};

#endif
