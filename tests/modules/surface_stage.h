#pragma once

// A stage for surface views in tests: a host widget carrying the theme, painted on the
// theme's surface colour at twice the pixel density, with helpers to look at the result.
#include "support/test_support.h"
#include "ui/surface/notch_theme.h"

#include <QImage>
#include <QWidget>
#include <cmath>

namespace nimbra::test {

struct Stage {
    QWidget host;

    // The host is shown (the offscreen platform puts nothing on a screen), so views get their
    // show and resize events as they would in the notch.
    Stage(const NotchTheme& theme, QSizeF size)
    {
        host.resize(size.toSize());
        setNotchTheme(&host, theme);
        host.show();
    }

    NotchTheme theme() const { return notchTheme(&host); }

    // Fills the host with a view made from `args` (the host is appended as parent).
    template <typename View, typename... Args> View* make(Args&&... args)
    {
        auto* view = new View(std::forward<Args>(args)..., &host);
        view->setGeometry(host.rect());
        view->show();
        return view;
    }

    QImage render(double dpr = 2) const
    {
        QImage image(host.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(theme().surface());
        const_cast<QWidget&>(host).render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    }
};

// The pixel under a point given in the view's own coordinates.
inline QColor pixelAt(const QImage& image, double x, double y)
{
    const double dpr = image.devicePixelRatio();
    return image.pixelColor(int(x * dpr), int(y * dpr));
}

inline bool near(const QColor& a, const QColor& b, int tolerance = 14)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
        && std::abs(a.blue() - b.blue()) <= tolerance;
}

// How many pixels in `region` (view coordinates) are close to `colour`.
inline int countNear(const QImage& image, const QRectF& region, const QColor& colour, int tolerance = 14)
{
    const double dpr = image.devicePixelRatio();
    const QRect r = QRectF(region.x() * dpr, region.y() * dpr, region.width() * dpr, region.height() * dpr)
                        .toAlignedRect()
                        .intersected(image.rect());
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            n += near(image.pixelColor(x, y), colour, tolerance) ? 1 : 0;
    return n;
}

// What a colour looks like composited over the surface (for translucent theme colours).
inline QColor over(const QColor& top, const QColor& below)
{
    const double a = top.alphaF();
    return QColor::fromRgbF(float(top.redF() * a + below.redF() * (1 - a)),
        float(top.greenF() * a + below.greenF() * (1 - a)), float(top.blueF() * a + below.blueF() * (1 - a)));
}

} // namespace nimbra::test
