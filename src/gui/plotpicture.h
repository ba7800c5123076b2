#ifndef PLOTPICTURE_H
#define PLOTPICTURE_H

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

class QPainter;
class QWidget;

// A picture of a plot for a report: the plot drawn at its size in logical pixels, with
// an optional caption line below it. Saved as PNG (at a device pixel ratio, so that it
// is as sharp as on the screen) or SVG, or copied to the clipboard. Files are written
// to a temporary name and moved onto the target only when complete.
class PlotPicture
{
public:
    PlotPicture(QSize plotSize, std::function<void(QPainter &)> drawPlot, QString caption);

    QSize size() const;
    QImage image(qreal pixelRatio) const;
    QByteArray svg() const;
    // The format follows the suffix: ".svg" or else PNG; false with error set on failure.
    bool save(const QString &fileName, qreal pixelRatio, QString &error) const;

    // Asks for a PNG or SVG file (starting in workingDir, which it updates) and saves the
    // picture at parent's pixel ratio; a failure is shown in a message box naming the file
    // and the reason. Returns the file saved, empty when cancelled or failed.
    QString saveWithDialog(QWidget *parent) const;
    // False when the clipboard does not hold the picture afterwards.
    bool copyToClipboard(qreal pixelRatio) const;

private:
    void draw(QPainter &painter) const;
    int captionHeight() const;

    QSize plotSize;
    std::function<void(QPainter &)> drawPlot;
    QString caption;
};

#endif
