#pragma once

// A transient note: a small rounded panel with one or two lines of text laid
// over the bottom of another widget (its area). It takes neither focus nor
// the pointer, so the area underneath keeps working, and it goes away by
// itself after a few seconds, fading out, or at once when dismissed.

#include <QColor>
#include <QStringList>
#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

class TFMXNote : public QWidget
{
    Q_OBJECT

public:
    // How long a note stays before it fades, and how long the fade takes.
    static constexpr int DefaultDuration = 5000;
    static constexpr int FadeDuration = 300;

    explicit TFMXNote(QWidget *area);

    // Shows text (a "\n" starts the second line) over the area, replacing any
    // note shown, and restarts the countdown.
    void showMessage(const QString &text);
    // Hides the note at once; nothing happens when none is shown.
    void dismiss();

    QString text() const { return lines.join(u'\n'); }
    int duration() const { return hold.interval(); }
    void setDuration(int milliseconds) { hold.setInterval(milliseconds); }

    // Takes the colours of the current look (IsLightTheme, SysAccentColor).
    void ThemeUpdate();
    QColor backgroundColor() const { return background; }
    QColor borderColor() const { return border; }
    QColor textColor() const { return ink; }
    QColor accentColor() const { return accent; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void place();

    QStringList lines;
    QTimer hold;
    QVariantAnimation fade;
    qreal opacity = 1;
    QColor background, border, ink, accent;
};
