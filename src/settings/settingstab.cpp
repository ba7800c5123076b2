#include "settingstab.h"
#include "ui_settingstab.h"

#include "app/customization.h"

SettingsTab::SettingsTab(QWidget *parent) : QWidget(parent), ui(new Ui::SettingsTab)
{
    ui->setupUi(this);
}

SettingsTab::~SettingsTab()
{
    delete ui;
}

void SettingsTab::replyReceived(QVector<uint16_t> data)
{
    Q_UNUSED(data);
}

void SettingsTab::deviceConnected() {}

void SettingsTab::deviceDisconnected()
{
    deviceSerialNumber = 0;
}
