#ifndef PROCESSSIGNALS_H
#define PROCESSSIGNALS_H

#include <QObject>

#include <functional>
#include <memory>

// The requests a process gets from outside: SIGINT or SIGTERM to stop, SIGUSR1 to print
// its statistics.
enum class ProcessSignal { Stop, Statistics };
// Delivers those requests to handler in the event loop until the returned object is
// destroyed; nullptr when they cannot be caught. One such object at a time.
std::unique_ptr<QObject> catchProcessSignals(std::function<void(ProcessSignal)> handler);

#endif
