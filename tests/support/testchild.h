#ifndef TESTCHILD_H
#define TESTCHILD_H

#include <QProcess>
#include <QString>
#include <QStringList>

// Starts this test program again as a child that runs only the test function named, with
// the variables of environment ("NAME=value") added to this process's environment. Child
// functions skip unless their variable is set, so that a normal run passes over them.
bool startTestChild(QProcess &child, const QString &function, const QStringList &environment);

#endif
