#ifndef CONNECTIONSTATELABEL_H
#define CONNECTIONSTATELABEL_H

#include "linkstate.h"

#include <QString>
#include <QWidget>

// The connection state in the status bar, on a background colour of its own: grey when
// not connected, amber while connecting or while a connected sensor does not answer,
// green when connected, red when the connection was lost or the port could not be
// opened. A note (the automatic reconnect's countdown) follows the state. A narrow
// window shortens the text with an ellipsis; the tooltip holds all of it.
class ConnectionStateLabel : public QWidget
{
    Q_OBJECT

public:
    explicit ConnectionStateLabel(QWidget *parent = nullptr);

    // The text shown: the state, or that the sensor does not answer, and the note.
    QString text() const;
    LinkState state() const { return linkState; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void showLinkState(LinkState state, const LinkSettings &settings);
    // While connected: what to say instead of "Connected to ..." while the sensor gives no
    // answer; an empty text when it answers again.
    void showNoAnswer(const QString &text);
    void showNote(const QString &text);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LinkState linkState = LinkState::NotConnected;
    QString stateText;
    QString noAnswerText;
    QString noteText;

    void textChanged();
};

#endif
