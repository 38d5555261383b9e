#include "ui/surface/notch_theme.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPaintEngine>
#include <QPainter>
#include <QVariant>
#include <QWidget>
#include <cmath>

namespace nimbra {

namespace {

constexpr const char* kThemeProperty = "nimbraNotchTheme";

QColor grey(double white, double opacity = 1.0)
{
    return QColor::fromRgbF(float(white), float(white), float(white), float(std::clamp(opacity, 0.0, 1.0)));
}

QColor rgb(double r, double g, double b)
{
    return QColor::fromRgbF(float(r), float(g), float(b));
}

QString defaultFamily()
{
    static const QString family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    return family;
}

// The family fontconfig picks for a generic hint, kept only when it is really installed.
QString familyForHint(QFont::StyleHint hint, const char* generic)
{
    QFont probe(QString::fromLatin1(generic));
    probe.setStyleHint(hint);
    const QString family = QFontInfo(probe).family();
    return QFontDatabase::hasFamily(family) ? family : defaultFamily();
}

QString roundedFamily()
{
    static const QString family = [] {
        // Rounded faces have no generic name; take the first known one that is installed.
        for (const char* name : { "SF Pro Rounded", "Nunito", "Varela Round", "M PLUS Rounded 1c", "Comfortaa",
                 "Quicksand", "Arial Rounded MT Bold", "Ubuntu" }) {
            if (QFontDatabase::hasFamily(QString::fromLatin1(name)))
                return QString::fromLatin1(name);
        }
        return defaultFamily();
    }();
    return family;
}

QString family(FontDesign design)
{
    switch (design) {
    case FontDesign::standard:
        return defaultFamily();
    case FontDesign::rounded:
        return roundedFamily();
    case FontDesign::serif: {
        static const QString serif = familyForHint(QFont::Serif, "serif");
        return serif;
    }
    case FontDesign::monospaced: {
        static const QString mono = [] {
            // The desktop's fixed font when it really is fixed pitch, else fontconfig's monospace.
            for (const QString& candidate : { QFontDatabase::systemFont(QFontDatabase::FixedFont).family(),
                     familyForHint(QFont::Monospace, "monospace") }) {
                QFont probe(candidate);
                probe.setStyleHint(QFont::Monospace);
                probe.setPixelSize(20);
                // Judged by the glyphs, since some faces mislabel their pitch.
                const QFontMetricsF metrics(probe);
                if (metrics.horizontalAdvance(QLatin1Char('i')) == metrics.horizontalAdvance(QLatin1Char('W')))
                    return QFontInfo(probe).family();
            }
            return defaultFamily();
        }();
        return mono;
    }
    }
    return defaultFamily();
}

} // namespace

QFont systemFont(double pixelSize, QFont::Weight weight, FontDesign design)
{
    QFont f(family(design));
    f.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

QFont font(ClockFont clockFont, double size)
{
    switch (clockFont) {
    case ClockFont::lockScreen:
        // The lightest weight there is; a family without a thin face gives its lightest one.
        return systemFont(size, QFont::Thin);
    case ClockFont::system:
        return systemFont(size, QFont::Light);
    case ClockFont::rounded:
        return systemFont(size, QFont::Light, FontDesign::rounded);
    case ClockFont::serif:
        return systemFont(size, QFont::Normal, FontDesign::serif);
    case ClockFont::mono:
        return systemFont(size, QFont::Light, FontDesign::monospaced);
    }
    return systemFont(size, QFont::Light);
}

FittedText fitText(const QString& text, const QFont& font, double maxWidth, double minimumScale)
{
    FittedText line { text, font, 0, 0, 0 };
    QFontMetricsF metrics(font);
    double width = metrics.horizontalAdvance(text);
    const int pixels = font.pixelSize();
    if (width > maxWidth && width > 0 && pixels > 1) {
        const int smallest = std::max(1, int(std::ceil(pixels * minimumScale)));
        const int fitted = std::max(smallest, int(std::floor(pixels * maxWidth / width)));
        if (fitted < pixels) {
            line.font.setPixelSize(fitted);
            metrics = QFontMetricsF(line.font);
            width = metrics.horizontalAdvance(text);
        }
    }
    if (width > maxWidth) {
        line.text = metrics.elidedText(text, Qt::ElideRight, std::max(0.0, maxWidth));
        width = metrics.horizontalAdvance(line.text);
    }
    line.width = width;
    line.ascent = metrics.ascent();
    line.lineHeight = metrics.height();
    return line;
}

double paintPixelRatio(const QPainter& painter)
{
    double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (const QPaintEngine* engine = painter.paintEngine(); engine && engine->paintDevice())
        ratio = std::max(ratio, engine->paintDevice()->devicePixelRatioF());
    return ratio;
}

void drawFitted(QPainter& painter, const FittedText& line, QPointF topLeft, const QColor& colour)
{
    if (line.text.isEmpty())
        return;
    painter.setFont(line.font);
    painter.setPen(colour);
    painter.drawText(QPointF(topLeft.x(), topLeft.y() + line.ascent), line.text);
}

QColor NotchTheme::primaryText() const
{
    return isDark ? grey(1.0) : grey(0.09);
}

QColor NotchTheme::secondaryText(double opacity) const
{
    // Light backgrounds need slightly stronger secondary text for the same request.
    return isDark ? grey(1.0, opacity) : grey(0.09, opacity + 0.05);
}

QColor NotchTheme::surface() const
{
    return isDark ? grey(0.0) : grey(0.96);
}

QColor NotchTheme::well(double opacity) const
{
    return isDark ? grey(1.0, opacity) : grey(0.0, opacity * 0.85);
}

QColor NotchTheme::separator() const
{
    return isDark ? grey(1.0, 0.1) : grey(0.0, 0.1);
}

QColor NotchTheme::good() const
{
    return isDark ? rgb(0.3, 0.85, 0.39) : rgb(0.13, 0.62, 0.24);
}

QColor NotchTheme::bad() const
{
    return isDark ? rgb(1.0, 0.36, 0.31) : rgb(0.8, 0.15, 0.12);
}

QColor NotchTheme::accent() const
{
    return isDark ? rgb(0.99, 0.45, 0.22) : rgb(0.85, 0.32, 0.1);
}

void setNotchTheme(QWidget* host, const NotchTheme& theme)
{
    if (!host)
        return;
    const QVariant current = host->property(kThemeProperty);
    if (current.isValid() && current.value<NotchTheme>() == theme)
        return;
    host->setProperty(kThemeProperty, QVariant::fromValue(theme));
    // Repainting the host repaints every view inside it.
    host->update();
}

NotchTheme notchTheme(const QWidget* view)
{
    for (const QWidget* w = view; w; w = w->parentWidget()) {
        const QVariant value = w->property(kThemeProperty);
        if (value.isValid())
            return value.value<NotchTheme>();
    }
    return NotchTheme::dark();
}

} // namespace nimbra
