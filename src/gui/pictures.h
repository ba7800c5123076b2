#ifndef PICTURES_H
#define PICTURES_H

#include <QIcon>
#include <QPixmap>
#include <QString>

// The program's pictures are compiled in as Qt resources, so an installed program
// shows them whatever its working directory. A file of the same name in the working
// directory takes precedence, so a customised picture keeps working.
QPixmap loadPicture(const QString &fileName);

// The window icon: "Company-Logo.ico" in executableDir when it holds a readable one,
// else the compiled-in icon.
QIcon loadWindowIcon(const QString &executableDir);

#endif
