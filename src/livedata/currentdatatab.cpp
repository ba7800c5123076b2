#include "currentdatatab.h"
#include "ui_currentdatatab.h"

CurrentDataTab::CurrentDataTab(QWidget *parent) : QWidget(parent), ui(new Ui::CurrentDataTab)
{
    ui->setupUi(this);
}

CurrentDataTab::~CurrentDataTab()
{
    delete ui;
}

void CurrentDataTab::replyReceived(QVector<uint16_t> data)
{
    Q_UNUSED(data);
}
