#pragma once

#include "core/eye_motion.h"

#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <utility>

class QPainter;

namespace nimbra {

// The animated picture on the eyes settings page: a small desktop with a top panel (the
// applications mark, the tray, status icons and a clock), a notch and a pointer running a loop,
// and the eyes drawn in the panel's tray in the style being edited. Each
// frame is a function of the time alone: no easing, no drowsiness, and blinks and clicks come
// at fixed rhythms, so every change of the style shows at once.
class EyePreview final : public QWidget {
    Q_OBJECT
public:
    static constexpr double height = 132;
    static constexpr double defaultPeriod = 7.5;
    static constexpr double defaultClickEvery = 3.2;

    explicit EyePreview(const EyeStyle& style, double period = defaultPeriod, double clickEvery = defaultClickEvery,
        QWidget* parent = nullptr);

    void setStyle(const EyeStyle& style);
    const EyeStyle& style() const { return m_style; }
    bool isAnimating() const { return m_frames.isActive(); }

    // The sizes of one frame, from the preview's size (y down) and the style. (Where the eyes
    // sit follows from the icons and the clock text drawn beside them.)
    struct Layout {
        double barHeight;
        double diameter;
        double gap;
        double notchWidth;
        double travel;

        Layout(QSizeF size, const EyeStyle& style);
    };

    // Where the simulated pointer is at time `s` (y down).
    static QPointF pointerAt(double s, QSizeF size, double barHeight, double period);
    // The lid closures of the left and right eye at time `t`.
    static std::pair<double, double> lidAmounts(double t, const EyeStyle& style, double clickEvery);
    // The clock text of the mock panel now.
    static QString clockText();
    // Seconds since 1 January 2001, 00:00 UTC: the animation's time.
    static double now();

    // One frame at time `t`.
    static void paintFrame(QPainter& painter, QSizeF size, double t, const EyeStyle& style, const QString& clock,
        double period = defaultPeriod, double clickEvery = defaultClickEvery);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;

private:
    EyeStyle m_style;
    double m_period;
    double m_clickEvery;
    QTimer m_frames;
};

} // namespace nimbra
