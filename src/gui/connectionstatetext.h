#ifndef CONNECTIONSTATETEXT_H
#define CONNECTIONSTATETEXT_H

#include "linkstate.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

// The parity and stop bits of a link mode (0..5, as in the connection panel), for
// example "parity even, 2 stop bits"; other modes leave the port as it was.
QString lineSettingsText(uint8_t mode);

// The connection state as the status bar shows it, with the port and line parameters
// where they help (a network address names no line parameters); a probe without an
// answer adds what to check.
QString connectionStateText(LinkState state, const LinkSettings &settings);

// A connected sensor that stopped answering: since when, and how many requests went
// unanswered ("No answer since 10:11:12 (3 time-outs)").
QString noAnswerText(const QDateTime &lastAnswer, int timeouts);

#endif
