#pragma once

// How far long work has got, laid over the middle of another widget (its
// area) in a panel like the note's: one line of text, a bar and a Cancel
// button. It lies on the area's window rather than on the area, so that it
// stays usable while the area is disabled for the work.

#include <QColor>
#include <QWidget>

class QPushButton;

class TFMXProgress : public QWidget
{
    Q_OBJECT

public:
    TFMXProgress(QWidget *area, const QString &cancelText);

    // Shows text and done (0 to 1) over the area.
    void showProgress(const QString &text, double done);

    QString text() const { return line; }
    double done() const { return share; }

    // The panel's background, border, text and bar.
    void setColors(QColor background, QColor border, QColor ink, QColor accent);

    QSize sizeHint() const override;

signals:
    void cancelled();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void place();

    QWidget *area;
    QPushButton *cancel;
    QString line;
    double share = 0;
    QColor background, border, ink, accent;
};
