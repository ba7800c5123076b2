#ifndef CONNECTIONSTATELABEL_H
#define CONNECTIONSTATELABEL_H

#include "linkstate.h"

#include <QString>
#include <QWidget>

// The connection state in the status bar, on a background colour of its own: grey when
// not connected, amber while connecting, green when connected, red when the connection
// was lost or the port could not be opened. A narrow window shortens the text with an
// ellipsis; the tooltip holds all of it.
class ConnectionStateLabel : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionStateLabel(QWidget *parent = nullptr);

    QString text() const { return stateText; }
    LinkState state() const { return linkState; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void showLinkState(LinkState state, const LinkSettings &settings);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LinkState linkState = LinkState::NotConnected;
    QString stateText;
};

#endif
