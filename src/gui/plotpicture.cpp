#include "plotpicture.h"

#include "settingsfile.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>

namespace
{

const int captionPadding = 4;

QString tr(const char *text)
{
    return QCoreApplication::translate("PlotPicture", text);
}

} // namespace

PlotPicture::PlotPicture(QSize plotSize, std::function<void(QPainter &)> drawPlot, QString caption)
    : plotSize(plotSize), drawPlot(std::move(drawPlot)), caption(std::move(caption))
{
}

int PlotPicture::captionHeight() const
{
    return caption.isEmpty() ? 0 : QFontMetrics(QApplication::font()).height() + 2 * captionPadding;
}

QSize PlotPicture::size() const
{
    return QSize(plotSize.width(), plotSize.height() + captionHeight());
}

void PlotPicture::draw(QPainter &painter) const
{
    painter.fillRect(QRect(QPoint(0, 0), size()), Qt::white);
    painter.save();
    drawPlot(painter);
    painter.restore();
    if (caption.isEmpty())
        return;
    painter.setFont(QApplication::font());
    painter.setPen(Qt::black);
    painter.drawText(QRect(captionPadding, plotSize.height(), plotSize.width() - 2 * captionPadding,
                           captionHeight()),
                     Qt::AlignLeft | Qt::AlignVCenter, caption);
}

QImage PlotPicture::image(qreal pixelRatio) const
{
    QImage image(size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::white);
    QPainter painter(&image);
    draw(painter);
    return image;
}

QByteArray PlotPicture::svg() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(size());
    generator.setViewBox(QRect(QPoint(0, 0), size()));
    // CSS pixels, so that drawing programs open it at the plot's size.
    generator.setResolution(96);
    generator.setTitle(caption);
    {
        QPainter painter(&generator);
        draw(painter);
    }
    return buffer.data();
}

bool PlotPicture::save(const QString &fileName, qreal pixelRatio, QString &error) const
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    bool written;
    if (QFileInfo(fileName).suffix().compare("svg", Qt::CaseInsensitive) == 0) {
        const QByteArray data = svg();
        written = file.write(data) == data.size();
    } else {
        written = image(pixelRatio).save(&file, "PNG");
    }
    if (!written || !file.commit()) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

QString PlotPicture::saveWithDialog(QWidget *parent) const
{
    SettingsFile settings;
    const QString workingDir = settings.workingDir();
    const QString pngFilter = tr("PNG image (*.png)");
    const QString svgFilter = tr("SVG drawing (*.svg)");
    QString selectedFilter = pngFilter;
    QString fileName = QFileDialog::getSaveFileName(parent, tr("Save picture"), workingDir,
                                                    pngFilter + ";;" + svgFilter, &selectedFilter);
    if (fileName.isEmpty())
        return QString();
    settings.setWorkingDirFromFile(fileName);
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix != "png" && suffix != "svg")
        fileName += selectedFilter == svgFilter ? ".svg" : ".png";

    QString error;
    if (save(fileName, parent->devicePixelRatioF(), error))
        return fileName;
    QMessageBox::warning(parent, tr("Save picture"),
                         tr("The picture could not be saved to %1: %2.")
                             .arg(QDir::toNativeSeparators(fileName), error),
                         QMessageBox::Ok);
    return QString();
}

bool PlotPicture::copyToClipboard(qreal pixelRatio) const
{
    const QImage picture = image(pixelRatio);
    QApplication::clipboard()->setImage(picture);
    return QApplication::clipboard()->image().size() == picture.size();
}
