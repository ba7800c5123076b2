#include "testchild.h"

#include <QCoreApplication>

bool startTestChild(QProcess &child, const QString &function, const QStringList &environment)
{
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString &variable : environment)
        variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
    child.setProcessEnvironment(variables);
    child.start(QCoreApplication::applicationFilePath(), {function});
    return child.waitForStarted();
}
