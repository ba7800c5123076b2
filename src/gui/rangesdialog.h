#ifndef RANGESDIALOG_H
#define RANGESDIALOG_H

#include "plotranges.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;

namespace Ui
{
class RangesDialog;
}

// Chooses per quantity whether its band's range is automatic or fixed at a typed
// minimum and maximum. OK refuses, with a message, a fixed range whose ends are not
// finite or not in order; an accepted choice is written to the group "plotRanges".
class RangesDialog : public QDialog
{
    Q_OBJECT

public:
    explicit RangesDialog(QWidget *parent = nullptr);
    ~RangesDialog() override;

public slots:
    void accept() override;

private:
    struct Row {
        QString quantity; // the key in plotRanges
        QLabel *label;
        QComboBox *mode;
        QLineEdit *minimum;
        QLineEdit *maximum;
    };

    Ui::RangesDialog *ui;
    QVector<Row> rows;
};

#endif
