#include "elidedlabel.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace
{

const QString ellipsis = QString::fromUtf8("…");

} // namespace

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent) {}

QString ElidedLabel::elideAtWord(const QString &text, const QFontMetrics &metrics, int width)
{
    const QString line = text.simplified();
    if (metrics.horizontalAdvance(line) <= width)
        return line;
    for (int end = line.lastIndexOf(' '); end > 0; end = line.lastIndexOf(' ', end - 1)) {
        const QString shortened = line.left(end) + ellipsis;
        if (metrics.horizontalAdvance(shortened) <= width)
            return shortened;
    }
    return ellipsis;
}

QString ElidedLabel::shownText() const
{
    return elideAtWord(text(), fontMetrics(), contentsRect().width());
}

QSize ElidedLabel::sizeHint() const
{
    const QMargins margins = contentsMargins();
    return QSize(fontMetrics().horizontalAdvance(text().simplified()) + 1, fontMetrics().height())
        .grownBy(margins);
}

QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(ellipsis) + 1, fontMetrics().height())
        .grownBy(contentsMargins());
}

void ElidedLabel::setText(const QString &text)
{
    QLabel::setText(text);
    setToolTip(text);
}

void ElidedLabel::clear()
{
    setText(QString());
}

void ElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, palette(),
                          isEnabled(), shownText(), foregroundRole());
}

void ElidedLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || shownText() == text().simplified()) {
        QLabel::mouseReleaseEvent(event);
        return;
    }
    delete popup;
    popup = new QLabel(text(), this, Qt::Popup);
    popup->setObjectName("elidedTextPopup");
    popup->setAttribute(Qt::WA_DeleteOnClose);
    popup->setWordWrap(true);
    popup->setTextInteractionFlags(Qt::TextSelectableByMouse);
    popup->setFrameShape(QFrame::Box);
    popup->setMargin(6);
    popup->setMaximumWidth(qMax(width(), 480));
    popup->adjustSize();
    popup->move(mapToGlobal(QPoint(0, -popup->height())));
    popup->show();
}
