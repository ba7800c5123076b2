#ifndef ELIDEDLABEL_H
#define ELIDEDLABEL_H

#include <QLabel>
#include <QPointer>

class QFontMetrics;

// A one-line label for the status bar, which it never makes taller: a text longer than
// the room it gets ends after its last whole word that fits, with "…". The tooltip holds
// the whole text, and a click on a shortened text shows all of it in a small popup.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    // The text as the label shows it in its present width.
    QString shownText() const;
    // text on one line, cut after a whole word so that it and "…" fit in width pixels;
    // the text itself when it fits, and "…" alone when not even its first word does.
    static QString elideAtWord(const QString &text, const QFontMetrics &metrics, int width);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    void setText(const QString &text);
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPointer<QLabel> popup;
};

#endif
