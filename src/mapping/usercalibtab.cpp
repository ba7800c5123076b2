#include "usercalibtab.h"
#include "ui_usercalibtab.h"

UserCalibTab::UserCalibTab(QWidget *parent) : QWidget(parent), ui(new Ui::UserCalibTab)
{
    ui->setupUi(this);
}

UserCalibTab::~UserCalibTab()
{
    delete ui;
}

void UserCalibTab::on_selectionChanged(QDateTime left, QDateTime right)
{
    Q_UNUSED(left);
    Q_UNUSED(right);
}

void UserCalibTab::replyReceived(QVector<uint16_t> data)
{
    Q_UNUSED(data);
}
