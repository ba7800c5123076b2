#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "busmonitordialog.h"
#include "connectionstatetext.h"
#include "currentdatatab.h"
#include "customization.h"
#include "debugtab.h"
#include "linkstatisticsdialog.h"
#include "pictures.h"
#include "settingsfile.h"
#include "settingstab.h"
#include "systemstatetext.h"
#include "recordingdroptarget.h"
#include "usercalibtab.h"
#include "viewerwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QMessageBox>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QShowEvent>
#include <QToolButton>

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    setWindowIcon(loadWindowIcon(QApplication::applicationDirPath()));
    // "Open recording…" on the Live Data tab, from any tab; and files dropped here.
    connect(new QShortcut(QKeySequence(tr("Ctrl+O")), this), &QShortcut::activated, this,
            [this] { ViewerWindow::openWithDialog(this); });
    new RecordingDropTarget(this);

    // The connection state sits left of the error label. Permanent widgets are never
    // hidden by the status bar's own messages; the notes on what succeeded have a label
    // of their own for the same reason.
    statusBar()->addWidget(&stateLabel);
    statusBar()->addWidget(&noticeLabel, 1);
    statusBar()->addPermanentWidget(&connectionState);
    statusBar()->addPermanentWidget(&errorLabel);
    errorLabel.setStyleSheet("font-weight: bold; color: red");
    stateLabel.setObjectName("label_systemState");
    noticeLabel.setObjectName("label_notice");
    // Only the room the others leave: a long path must not squeeze the state widgets.
    noticeLabel.setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    connectionState.setObjectName("connectionState");
    errorLabel.setObjectName("label_modbusError");
    noticeTimer.setSingleShot(true);
    noticeTimer.setInterval(6000);
    connect(&noticeTimer, &QTimer::timeout, &noticeLabel, &ElidedLabel::clear);
    // The status bar stays one line high: long texts are shortened, and a click on one
    // shows all of it.
    portProblemLabel.setObjectName("label_portProblem");
    statusBar()->addPermanentWidget(&portProblemLabel);

    linkDialog = new LinkStatisticsDialog(modbus.statistics(), this);
    busMonitor = new BusMonitorDialog(modbus.frameLog(), this);
    auto *linkButton = new QToolButton(this);
    linkButton->setObjectName("toolButton_link");
    linkButton->setText(tr("Link"));
    linkButton->setAutoRaise(true);
    connect(linkButton, &QToolButton::clicked, linkDialog, &QDialog::show);
    auto *monitorButton = new QToolButton(this);
    monitorButton->setObjectName("toolButton_busMonitor");
    monitorButton->setText(tr("Bus monitor"));
    monitorButton->setAutoRaise(true);
    connect(monitorButton, &QToolButton::clicked, busMonitor, &QDialog::show);
    statusBar()->addPermanentWidget(linkButton);
    statusBar()->addPermanentWidget(monitorButton);
    // Stays up while the journal is not writing, whatever the link reports meanwhile.
    journalIndicator.setObjectName("journalIndicator");
    journalIndicator.setText(tr("Journal not writing"));
    journalIndicator.setStyleSheet(
        "font-weight: bold; color: white; background-color: #b34700; padding: 0 4px");
    statusBar()->addPermanentWidget(&journalIndicator);
    journalIndicator.hide();

    connect(ui->tab_currentData, SIGNAL(showSystemState(uint16_t)), this,
            SLOT(showSystemState(uint16_t)));
    connect(&modbus, SIGNAL(showModbusError(QString)), this, SLOT(showModbusError(QString)));
    connect(&modbus, SIGNAL(portOpenFailed(QString)), this, SLOT(showPortOpenFailure(QString)));
    autoReconnect.setEnabled(ui->tab_settings->reconnectsAutomatically());
    connect(ui->tab_settings, &SettingsTab::reconnectAutomaticallyChanged, &autoReconnect,
            &AutoReconnect::setEnabled);
    connect(ui->tab_settings, &SettingsTab::connectDevice, &autoReconnect, &AutoReconnect::stop);
    connect(ui->tab_settings, &SettingsTab::disconnectDevice, &autoReconnect, &AutoReconnect::stop);
    connect(&autoReconnect, &AutoReconnect::statusChanged, &connectionState,
            &ConnectionStateLabel::showNote);
    connect(ui->tab_settings, SIGNAL(connectDevice(QString, uint32_t, uint8_t, uint8_t)), &modbus,
            SLOT(connectDevice(QString, uint32_t, uint8_t, uint8_t)));
    connect(ui->tab_settings, SIGNAL(disconnectDevice(bool)), &modbus,
            SLOT(disconnectDevice(bool)));
    connect(ui->tab_settings, SIGNAL(readRegisters(uint8_t, uint8_t)), &modbus,
            SLOT(readRegisters(uint8_t, uint8_t)));
    connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), ui->tab_settings,
            SLOT(replyReceived(QVector<uint16_t>)));
    connect(ui->tab_settings, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>)), &modbus,
            SLOT(writeRegisters(uint8_t, QVector<uint16_t>)));
    connect(&modbus, SIGNAL(deviceConnected()), ui->tab_settings, SLOT(deviceConnected()));
    connect(&modbus, SIGNAL(deviceDisconnected()), ui->tab_settings, SLOT(deviceDisconnected()));
    connect(ui->tab_currentData, SIGNAL(readRegisters(uint8_t, uint8_t)), &modbus,
            SLOT(readRegisters(uint8_t, uint8_t)));
    connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), ui->tab_currentData,
            SLOT(replyReceived(QVector<uint16_t>)));
    connect(ui->tab_userCalib, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>)), &modbus,
            SLOT(writeRegisters(uint8_t, QVector<uint16_t>)));
    connect(ui->tab_userCalib, SIGNAL(readRegisters(uint8_t, uint8_t)), &modbus,
            SLOT(readRegisters(uint8_t, uint8_t)));
    connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), ui->tab_userCalib,
            SLOT(replyReceived(QVector<uint16_t>)));

    SettingsFile settings;
    // The mapping tab stays alive and connected; only its page goes.
    if (!viscosityMapping)
        ui->tabWidget->removeTab(ui->tabWidget->indexOf(ui->tab_userCalib));

    if (settings.value("debug", "false").toBool()) {
        debugTab = new DebugTab(this);
        ui->tabWidget->addTab(debugTab, tr("Debug"));
        connect(debugTab, SIGNAL(readRegisters(uint8_t, uint8_t)), &modbus,
                SLOT(readRegisters(uint8_t, uint8_t)));
        connect(debugTab, SIGNAL(writeRegisters(uint8_t, QVector<uint16_t>)), &modbus,
                SLOT(writeRegisters(uint8_t, QVector<uint16_t>)));
        connect(&modbus, SIGNAL(replyReceived(QVector<uint16_t>)), debugTab,
                SLOT(replyReceived(QVector<uint16_t>)));
    }

    connect(ui->tab_currentData, SIGNAL(selectionChanged(QDateTime, QDateTime)), ui->tab_userCalib,
            SLOT(on_selectionChanged(QDateTime, QDateTime)));

    connect(&modbus, &Modbus::linkStateChanged, &connectionState,
            &ConnectionStateLabel::showLinkState);
    connect(&modbus, &Modbus::linkStateChanged, this, &MainWindow::showLinkState);
    connect(&modbus, &Modbus::linkStateChanged, ui->tab_settings, &SettingsTab::showLinkState);
    connect(&modbus, &Modbus::linkStateChanged, ui->tab_currentData,
            &CurrentDataTab::showLinkState);
    connect(&modbus, SIGNAL(writeRunFinished(bool)), ui->tab_settings,
            SLOT(writeRunFinished(bool)));
    for (QObject *tab :
         {static_cast<QObject *>(ui->tab_settings), static_cast<QObject *>(ui->tab_currentData),
          static_cast<QObject *>(ui->tab_userCalib)})
        connect(tab, SIGNAL(statusMessage(QString)), this, SLOT(showNotice(QString)));

    connect(ui->tab_currentData, SIGNAL(journalFailed(QString)), this,
            SLOT(showJournalFailure(QString)));
    connect(ui->tab_currentData, SIGNAL(journalWriting()), &journalIndicator, SLOT(hide()));

    QApplication::setOrganizationName(companyName);
    QApplication::setApplicationName(applicationName);
    setWindowTitle(applicationName);
}

void MainWindow::showEvent(QShowEvent *event)
{
    if (!shownBefore) {
        shownBefore = true;
        openLargeEnough();
    }
    QMainWindow::showEvent(event);
}

void MainWindow::openLargeEnough()
{
    // The Settings and mapping pages scroll, so that the window fits a small screen; where
    // the screen has room, the window opens large enough to show them whole.
    QSize hidden(0, 0);
    const QList<QWidget *> scrollingPages = {ui->tab_settings, ui->tab_userCalib};
    for (QWidget *page : scrollingPages) {
        const auto *area = page->findChild<QScrollArea *>();
        if (ui->tabWidget->indexOf(page) >= 0 && area && area->widget())
            hidden = hidden.expandedTo(area->widget()->minimumSizeHint() - area->minimumSizeHint());
    }
    QSize wanted = (minimumSizeHint() + hidden).expandedTo(size());
    // Room for a title bar, which the available geometry still includes.
    const QSize available = screen()->availableGeometry().size() - QSize(0, 40);
    resize(wanted.boundedTo(available).expandedTo(minimumSizeHint()));
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, tr("Quit"), tr("Are you sure?"),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer == QMessageBox::Yes) {
        qDebug() << "application closed";
        QApplication::quit();
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::showSystemState(uint16_t state)
{
    lastSystemState = state;
    stateIsLive = true;
    showStateLine();
}

void MainWindow::showStateLine()
{
    if (lastSystemState < 0)
        return;
    QString line = systemStateLine(uint16_t(lastSystemState), stateIsLive);
    // A sensor that hangs keeps the link connected; its last state is not current.
    if (stateIsLive && answerWatch.isQuiet())
        line += tr(" (last seen %1)").arg(answerWatch.lastAnswer().toString("HH:mm:ss"));
    stateLabel.setText(line);
}

void MainWindow::showLinkState(LinkState state)
{
    answerWatch.start(QDateTime::currentDateTime());
    if (state != LinkState::Connected) {
        stateIsLive = false;
        showStateLine();
    }
}

void MainWindow::showNotice(const QString &text)
{
    noticeLabel.setText(text);
    noticeTimer.start();
}

void MainWindow::showJournalFailure(QString error)
{
    journalIndicator.setToolTip(error);
    journalIndicator.show();
}

void MainWindow::showModbusError(QString error)
{
    errorLabel.setText(error);
    portProblemLabel.clear();
    if (connectionState.state() != LinkState::Connected)
        return;
    const bool wasQuiet = answerWatch.isQuiet();
    answerWatch.linkResult(error, QDateTime::currentDateTime());
    if (!wasQuiet && !answerWatch.isQuiet())
        return;
    connectionState.showNoAnswer(
        answerWatch.isQuiet() ? noAnswerText(answerWatch.lastAnswer(), answerWatch.timeoutCount())
                              : QString());
    showStateLine();
}

void MainWindow::showPortOpenFailure(QString reason)
{
    portProblemLabel.setText(reason);
}
