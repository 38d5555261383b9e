#include "ui/settings/settings_style.h"

#include "ui/surface/notch_theme.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <algorithm>

namespace nimbra::settings_style {

namespace {

QColor mix(const QColor& a, const QColor& b, double t)
{
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
        float(a.greenF() + (b.greenF() - a.greenF()) * t), float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

struct Colours {
    QColor window, base, alternateBase, button, text, secondary, highlight, link;
};

// Close to the desktop conventions of a settings window: a neutral window, white (or near
// black) fields, and a blue accent.
Colours colours(bool dark)
{
    if (dark)
        return { QColor(38, 38, 40), QColor(30, 30, 32), QColor(46, 46, 48), QColor(64, 64, 67), QColor(235, 235, 235),
            QColor(155, 155, 158), QColor(10, 132, 255), QColor(64, 156, 255) };
    return { QColor(236, 236, 236), QColor(255, 255, 255), QColor(244, 245, 245), QColor(255, 255, 255),
        QColor(31, 31, 31), QColor(118, 118, 118), QColor(0, 122, 255), QColor(0, 104, 218) };
}

class Divider : public QWidget {
public:
    Divider()
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), over(palette().color(QPalette::WindowText), 0.12, palette().color(QPalette::Window)));
    }
};

} // namespace

QFont font(TextStyle style, QFont::Weight weight)
{
    switch (style) {
    case TextStyle::title2:
        return systemFont(17, weight);
    case TextStyle::title3:
        return systemFont(15, weight);
    case TextStyle::body:
        return systemFont(13, weight);
    case TextStyle::callout:
        return systemFont(12, weight);
    case TextStyle::caption:
    case TextStyle::caption2:
        return systemFont(10, weight);
    }
    return systemFont(13, weight);
}

QPalette palette(bool dark)
{
    const Colours c = colours(dark);
    QPalette p(c.button, c.window);
    for (const QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive }) {
        p.setColor(group, QPalette::WindowText, c.text);
        p.setColor(group, QPalette::Text, c.text);
        p.setColor(group, QPalette::ButtonText, c.text);
        p.setColor(group, QPalette::Base, c.base);
        p.setColor(group, QPalette::AlternateBase, c.alternateBase);
        p.setColor(group, QPalette::PlaceholderText, c.secondary);
        p.setColor(group, QPalette::Highlight, c.highlight);
        p.setColor(group, QPalette::HighlightedText, Qt::white);
        p.setColor(group, QPalette::Link, c.link);
        p.setColor(group, QPalette::ToolTipBase, c.base);
        p.setColor(group, QPalette::ToolTipText, c.text);
        p.setColor(group, QPalette::BrightText, Qt::white);
    }
    // Disabled text is fainter, yet still legible (3:1 against the window or better): a switched
    // off group still tells what it would do.
    const QColor disabledText = mix(c.window, c.text, 0.5);
    p.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    p.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    p.setColor(QPalette::Disabled, QPalette::PlaceholderText, mix(c.window, c.secondary, 0.85));
    // A disabled button's face sinks most of the way into the window, which keeps its title
    // readable too.
    p.setColor(QPalette::Disabled, QPalette::Button, mix(c.window, c.button, 0.25));
    p.setColor(QPalette::Disabled, QPalette::Base, c.window);
    p.setColor(QPalette::Disabled, QPalette::Highlight, mix(c.highlight, c.window, 0.5));
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, mix(Qt::white, c.window, 0.4));
    return p;
}

bool isDark(const QPalette& palette)
{
    return palette.color(QPalette::Window).lightnessF() < 0.5;
}

QColor secondary(const QPalette& palette)
{
    return palette.color(QPalette::PlaceholderText);
}

QColor tertiary(const QPalette& palette)
{
    return palette.color(QPalette::Disabled, QPalette::WindowText);
}

QColor accent(const QPalette& palette)
{
    return palette.color(QPalette::Active, QPalette::Highlight);
}

QColor positive(const QPalette& palette)
{
    return isDark(palette) ? QColor(48, 209, 88) : QColor(40, 167, 69);
}

QColor over(const QColor& colour, double opacity, const QColor& background)
{
    return mix(background, colour, std::clamp(opacity, 0.0, 1.0));
}

QLabel* label(const QString& text, TextStyle style, Tone tone, QFont::Weight weight, bool wraps)
{
    auto* l = new QLabel(text);
    l->setFont(font(style, weight));
    l->setTextFormat(Qt::PlainText);
    if (tone == Tone::secondary)
        l->setForegroundRole(QPalette::PlaceholderText);
    if (wraps) {
        l->setWordWrap(true);
        l->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    }
    return l;
}

QWidget* divider()
{
    return new Divider;
}

QStyle* fusion()
{
    static QStyle* const style = [] {
        QStyle* s = QStyleFactory::create(QStringLiteral("Fusion"));
        // Owned by the application, so it goes when the application does.
        if (s && qApp)
            s->setParent(qApp);
        return s;
    }();
    return style;
}

void adoptStyle(QWidget* root)
{
    QStyle* style = fusion();
    if (!root || !style)
        return;
    if (root->style() != style)
        root->setStyle(style);
    for (QWidget* child : root->findChildren<QWidget*>()) {
        if (child->style() != style)
            child->setStyle(style);
    }
}

} // namespace nimbra::settings_style
