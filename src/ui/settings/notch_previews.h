#pragma once

#include "core/notch_geometry.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/spring.h"

#include <QDateTime>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

namespace nimbra {

// A mock of the open notch on a small desktop: the notch's outline in its theme, with the
// radii of the expanded shape at 0.6 of their size, and any content centred in it. A change of
// theme cross-fades.
class NotchPreview : public QWidget {
    Q_OBJECT
public:
    // Takes `content` as its child.
    NotchPreview(const NotchTheme& theme, const LayoutMetrics& layout, QWidget* content, QWidget* parent = nullptr);

    NotchTheme theme() const { return m_theme; }
    void setTheme(const NotchTheme& theme);
    const LayoutMetrics& notchLayout() const { return m_layout; }
    void setNotchLayout(const LayoutMetrics& layout);
    QWidget* content() const { return m_content; }

    // The outline's frame (300 × 92 at the top centre) and the content's frame inside it.
    QRectF notchFrame() const;
    QRectF contentFrame() const;
    bool isFading() const { return m_frames.isActive(); }

    QSize sizeHint() const override { return { 480, 112 }; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    class FadeOverlay;
    void placeContent();

    NotchTheme m_theme;
    LayoutMetrics m_layout;
    QWidget* m_content;
    QPixmap m_before;
    FadeOverlay* m_overlay = nullptr;
    SpringValue m_fade;
    FrameTimer m_frames;
};

// A sample of the clock glance: the time and date of a fixed moment beside a battery reading,
// in the theme it inherits (setNotchTheme) and its clock font.
class ClockPreview : public QWidget {
    Q_OBJECT
public:
    explicit ClockPreview(QWidget* parent = nullptr);

    // 17 September 2026, 09:41 in local time; now when that cannot be formed.
    static QDateTime sampleMoment();
    // The time as hours and minutes in the locale's form; the date as weekday, day and month.
    static QString timeText(const QDateTime& moment);
    static QString dateText(const QDateTime& moment);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace nimbra
