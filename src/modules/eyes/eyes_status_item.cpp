#include "modules/eyes/eyes_status_item.h"

#include "core/diagnostics.h"
#include "core/uptime.h"
#include "platform/screen_space.h"
#include "ui/tray/tray_item.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <cmath>
#include <utility>

namespace nimbra {

EyesStatusItem::EyesStatusItem(QObject* parent, std::function<double()> now)
    : QObject(parent)
    , m_style(EyeStyle::defaultStyle())
    , m_now(now ? std::move(now) : std::function<double()>(uptime))
{
    m_pendingRedraw.setSingleShot(true);
    connect(&m_pendingRedraw, &QTimer::timeout, this, &EyesStatusItem::redraw);
    m_creation.setSingleShot(true);
    m_creation.setInterval(0);
    connect(&m_creation, &QTimer::timeout, this, [this] {
        // A new item shows neutral eyes until the tracker's next frame.
        m_frame = {};
        createItem();
    });
}

EyesStatusItem::~EyesStatusItem() = default;

int EyesStatusItem::side() const
{
    if (m_item) {
        if (const auto traySide = m_item->iconSide())
            return *traySide;
    }
    return defaultSide;
}

qreal EyesStatusItem::travel() const
{
    return EyesItemLayout::forStyle(m_style).fitted(side()).travel();
}

std::optional<EyeTracker::Centres> EyesStatusItem::eyeCentres() const
{
    if (!m_item)
        return std::nullopt;
    const QRectF rect = m_item->screenRect(defaultSide);
    const double s = std::min(rect.width(), rect.height());
    const QRectF square(rect.center() - QPointF(s / 2, s / 2), QSizeF(s, s));
    const auto [left, right] = EyesItemLayout::forStyle(m_style).fitted(s).centres(square);
    return EyeTracker::Centres { screen_space::toModel(left), screen_space::toModel(right) };
}

void EyesStatusItem::setMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_item)
        m_item->setMenu(menu);
}

void EyesStatusItem::show(const EyeStyle& style)
{
    m_style = style;
    if (!m_item) {
        // One creation, on the next turn of the event loop, with the last style given.
        if (!m_creation.isActive())
            m_creation.start();
        return;
    }
    // A new style draws neutral eyes until the next frame, as a rebuilt item does.
    m_drawnFrame.reset();
    m_frame = {};
    redraw();
}

void EyesStatusItem::createItem()
{
    if (m_item)
        return;
    m_item = std::make_unique<TrayItem>();
    m_item->setMenu(m_menu);
    m_drawnFrame.reset();
    m_lastIcon = {};
    redraw();
    m_item->show();
    Diagnostics::log(Diagnostics::Category::eyes, "status item created");
}

void EyesStatusItem::update(QPointF leftPupil, QPointF rightPupil, double lidLeft, double lidRight, bool tired)
{
    m_frame = EyesFrame { leftPupil, rightPupil, lidLeft, lidRight, tired };
    if (!m_item)
        return;
    const double wait = m_lastRedrawAt < 0 ? 0 : m_lastRedrawAt + fastestRedraw - m_now();
    if (wait <= earlyRedraw) {
        redraw();
        return;
    }
    // Too soon after the last icon: while the eyes move the tracker's next frame comes first
    // and is drawn in its place; the timer only catches the last frame of a movement.
    if (!m_pendingRedraw.isActive())
        m_pendingRedraw.start(int(std::ceil((wait + lateFrameGrace) * 1000)));
}

void EyesStatusItem::redraw()
{
    m_pendingRedraw.stop();
    if (!m_item)
        return;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    const int iconSide = side();
    // Frames that differ by less than the drawing can show are drawn once.
    const EyesFrame frame = drawable(m_style, m_frame, iconSide, ratio);
    if (m_drawnFrame == frame)
        return;
    m_drawnFrame = frame;
    QImage icon = m_renderer.render(m_style, frame, iconSide, ratio);
    // A change too small to move a pixel at the tray's size costs the tray nothing.
    if (icon == m_lastIcon)
        return;
    m_lastIcon = std::move(icon);
    m_item->setPicture(m_lastIcon);
    m_lastRedrawAt = m_now();
    ++m_redraws;
}

EyesFrame EyesStatusItem::drawable(const EyeStyle& style, const EyesFrame& frame, int side, qreal pixelRatio)
{
    // A quarter of a device pixel: antialiasing shows finer steps only as faint shades.
    const double step = 0.25 / pixelRatio;
    const auto snap = [](double value, double quantum) { return std::round(value / quantum) * quantum; };
    const auto snapPoint = [&](QPointF p) { return QPointF(snap(p.x(), step), snap(p.y(), step)); };
    // A lid's edge lies its closure times the diameter below the eye's top.
    const double lidStep = step / EyesItemLayout::forStyle(style).fitted(side).diameter;
    EyesFrame out = frame;
    out.leftPupil = snapPoint(frame.leftPupil);
    out.rightPupil = snapPoint(frame.rightPupil);
    out.lidLeft = snap(frame.lidLeft, lidStep);
    out.lidRight = snap(frame.lidRight, lidStep);
    return out;
}

void EyesStatusItem::hide()
{
    // Hidden before its creation came round: no item is created at all.
    m_creation.stop();
    m_pendingRedraw.stop();
    m_item.reset();
    m_drawnFrame.reset();
    m_lastIcon = {};
}

QImage EyesStatusItem::render(const EyeStyle& style, const EyesFrame& frame, int side, qreal pixelRatio)
{
    const int device = std::max(1, int(std::lround(side * pixelRatio)));
    QImage image(device, device, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const EyesItemLayout layout = EyesItemLayout::forStyle(style).fitted(side);
    layout.eyes(style, drawable(style, frame, side, pixelRatio)).paint(painter, QPointF(side / 2.0, side / 2.0));
    return image;
}

} // namespace nimbra
