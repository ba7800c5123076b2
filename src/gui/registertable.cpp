#include "registertable.h"
#include "ui_registertable.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHeaderView>

RegisterTable::RegisterTable(QWidget *parent) : QWidget(parent), ui(new Ui::RegisterTable)
{
    ui->setupUi(this);
    QTableWidget *table = ui->tableWidget_registers;
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
    table->setColumnWidth(0, 70);
    table->setColumnWidth(1, 150);
    table->setColumnWidth(2, 190);
}

RegisterTable::~RegisterTable()
{
    delete ui;
}

void RegisterTable::showRegisters(const QVector<uint16_t> &registers, const QDateTime &readAt)
{
    rows = registerRows(registers);
    this->readAt = readAt;
    QTableWidget *table = ui->tableWidget_registers;
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    table->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const RegisterRow &entry = rows[row];
        const QStringList texts{entry.registersText(), entry.name, entry.raw, entry.value};
        for (int column = 0; column < texts.size(); ++column) {
            auto *item = new QTableWidgetItem(texts[column]);
            if (column == 2)
                item->setFont(fixed);
            table->setItem(row, column, item);
        }
    }
    ui->label_readTime->setText(tr("Read at %1").arg(readAt.toString("yyyy-MM-dd HH:mm:ss")));
    ui->pushButton_copyRegisters->setEnabled(!rows.isEmpty());
}

QString RegisterTable::copyText() const
{
    return registerRowsText(rows, readAt);
}

void RegisterTable::on_pushButton_readRegisters_clicked()
{
    emit readRequested();
}

void RegisterTable::on_pushButton_copyRegisters_clicked()
{
    QApplication::clipboard()->setText(copyText());
}
