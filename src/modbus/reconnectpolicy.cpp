#include "reconnectpolicy.h"

#include <algorithm>

int ReconnectPolicy::nextPauseMs()
{
    const int pause = pauseMs;
    pauseMs = std::min(2 * pauseMs, longestPauseMs);
    return pause;
}

void ReconnectPolicy::reconnected()
{
    timeouts = 0;
    pauseMs = firstPauseMs;
}
