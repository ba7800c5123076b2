#include "connectionstatelabel.h"

#include "connectionstatetext.h"

#include <QPainter>

#include <cmath>

namespace
{

const int padding = 6;

QColor backgroundColor(LinkState state, bool answering)
{
    if (!answering)
        return QColor(255, 214, 102);
    switch (state) {
    case LinkState::Connecting:
    case LinkState::ProbeUnanswered:
        return QColor(255, 214, 102);
    case LinkState::Connected:
        return QColor(165, 214, 167);
    case LinkState::OpenFailed:
    case LinkState::ConnectionLost:
        return QColor(211, 47, 47);
    case LinkState::NotConnected:
        break;
    }
    return QColor(224, 224, 224);
}

bool isFailure(LinkState state)
{
    return state == LinkState::OpenFailed || state == LinkState::ConnectionLost;
}

} // namespace

ConnectionStateLabel::ConnectionStateLabel(QWidget *parent) : QWidget(parent)
{
    showLinkState(LinkState::NotConnected, {});
}

void ConnectionStateLabel::showLinkState(LinkState state, const LinkSettings &settings)
{
    linkState = state;
    stateText = connectionStateText(state, settings);
    noAnswerText.clear();
    QFont stateFont = font();
    stateFont.setBold(isFailure(state));
    setFont(stateFont);
    textChanged();
}

void ConnectionStateLabel::showNoAnswer(const QString &text)
{
    noAnswerText = text;
    textChanged();
}

void ConnectionStateLabel::showNote(const QString &text)
{
    noteText = text;
    textChanged();
}

QString ConnectionStateLabel::text() const
{
    const QString state = noAnswerText.isEmpty() ? stateText : noAnswerText;
    return noteText.isEmpty() ? state : state + QString::fromUtf8(" — ") + noteText;
}

void ConnectionStateLabel::textChanged()
{
    setToolTip(text());
    updateGeometry();
    update();
}

QSize ConnectionStateLabel::sizeHint() const
{
    // Rounded up, and a pixel more: elidedText() shortens a text that would fit to the
    // pixel when its width is fractional.
    const QFontMetricsF metrics(font());
    return QSize(int(std::ceil(metrics.horizontalAdvance(text()))) + 1 + 2 * padding,
                 int(std::ceil(metrics.height())) + 4);
}

QSize ConnectionStateLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(tr("Connecting...")) + 2 * padding,
                 metrics.height() + 4);
}

void ConnectionStateLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(backgroundColor(linkState, noAnswerText.isEmpty()));
    painter.drawRoundedRect(rect(), 3, 3);
    painter.setPen(isFailure(linkState) ? Qt::white : Qt::black);
    const QRect textRect = rect().adjusted(padding, 0, -padding, 0);
    const QString shown = QFontMetrics(font()).elidedText(text(), Qt::ElideRight, textRect.width());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, shown);
}
