#include "pictures.h"

#include <QFileInfo>

// Resources of a static library are not registered by themselves.
static void registerPictures()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(pictures);
        return true;
    }();
    Q_UNUSED(registered)
}

QPixmap loadPicture(const QString &fileName)
{
    registerPictures();
    // An unreadable file of the same name falls back to the compiled-in picture.
    QPixmap picture;
    if (QFileInfo::exists(fileName) && picture.load(fileName))
        return picture;
    picture.load(":/pictures/" + fileName);
    return picture;
}

QIcon loadWindowIcon(const QString &executableDir)
{
    registerPictures();
    const QString name = "Company-Logo.ico";
    const QIcon beside(executableDir + "/" + name);
    if (!beside.availableSizes().isEmpty())
        return beside;
    return QIcon(":/pictures/" + name);
}
