#ifndef REGISTERTABLE_H
#define REGISTERTABLE_H

#include "registerrows.h"

#include <QDateTime>
#include <QVector>
#include <QWidget>

#include <cstdint>

namespace Ui
{
class RegisterTable;
}

// The Debug tab's read-only table of registers 0..148 by name, with "Read registers",
// which the tab answers with the dump's own two reads, and "Copy".
class RegisterTable : public QWidget
{
    Q_OBJECT

public:
    explicit RegisterTable(QWidget *parent = nullptr);
    ~RegisterTable() override;

    // The registers 0..148 of one reading, taken at readAt.
    void showRegisters(const QVector<uint16_t> &registers, const QDateTime &readAt);
    // What "Copy" puts on the clipboard: tab-separated, a header line first.
    QString copyText() const;

signals:
    void readRequested();

private slots:
    void on_pushButton_readRegisters_clicked();
    void on_pushButton_copyRegisters_clicked();

private:
    Ui::RegisterTable *ui;
    QVector<RegisterRow> rows;
    QDateTime readAt;
};

#endif
