#ifndef DIAGONALHATCH_H
#define DIAGONALHATCH_H

#include <QLineF>
#include <QRect>
#include <QVector>

// A hatch of rising diagonal lines ("/") spacing pixels apart along a row, as shapes, for
// a picture that records shapes (a saved SVG) where a widget fills with a hatch brush. The
// lines run through the centres of the pixels that Qt's Qt::BDiagPattern of spacing 8
// sets, the lines x + y = k * spacing, cut at the edges of the areas. Areas that overlap
// or touch side by side with the same rows are hatched as one, so that neighbouring fault
// stretches cost no more lines than one wide stretch.
QVector<QLineF> diagonalHatch(QVector<QRect> areas, int spacing);

#endif
