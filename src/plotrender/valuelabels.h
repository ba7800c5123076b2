#ifndef VALUELABELS_H
#define VALUELABELS_H

#include <QVector>

// Which of a band's value labels are drawn. The labels are given in the order they are
// drawn by the top row of their text, all of one height: a label whose rows would meet
// those of the label drawn before it is skipped (its grid line is drawn all the same),
// so that crowded labels stay readable.
QVector<bool> nonOverlappingLabels(const QVector<int> &tops, int height);

#endif
