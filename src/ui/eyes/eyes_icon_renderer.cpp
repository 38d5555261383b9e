#include "ui/eyes/eyes_icon_renderer.h"

#include <QPainter>
#include <cmath>
#include <cstring>

namespace nimbra {

namespace {

QImage clearImage(QSize size, qreal pixelRatio)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::transparent);
    return image;
}

void clear(QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memset(image.scanLine(y) + area.left() * 4, 0, std::size_t(area.width()) * 4);
}

// Copies `area` of `from` to the same place in `to` (both 32-bit images).
void copy(const QImage& from, QPoint fromOrigin, QImage& to, const QRect& area)
{
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(to.scanLine(area.top() + y) + area.left() * 4,
            from.constScanLine(area.top() - fromOrigin.y() + y) + (area.left() - fromOrigin.x()) * 4,
            std::size_t(area.width()) * 4);
}

} // namespace

void EyesIconRenderer::start(const Look& look, const GooglyEyes& eyes, QPointF centre)
{
    m_look = look;
    const int device = std::max(1, int(std::lround(look.side * look.pixelRatio)));
    const QSize size(device, device);
    const auto [left, right] = eyes.eyeCentres(centre);
    const double r = eyes.diameter / 2;
    for (int i = 0; i < 2; ++i) {
        const QPointF c = i == 0 ? left : right;
        const QRectF logical(c.x() - r, c.y() - r, eyes.diameter, eyes.diameter);
        const QRectF device(logical.topLeft() * look.pixelRatio, logical.size() * look.pixelRatio);
        // The stroked rim overshoots the circle by a fraction of its width here and there.
        const double spill = 0.25 + eyes.rimWidth() * look.pixelRatio / 2;
        m_eyes[size_t(i)].area = device.adjusted(-spill, -spill, spill, spill).toAlignedRect() & QRect(QPoint(), size);
        m_eyes[size_t(i)].tiles.clear();
    }
    m_apart = !m_eyes[0].area.intersects(m_eyes[1].area);
    m_scratch = clearImage(size, look.pixelRatio);
    for (QImage& buffer : m_buffers)
        buffer = QImage(size, QImage::Format_ARGB32_Premultiplied);
}

QImage& EyesIconRenderer::nextBuffer()
{
    QImage& buffer = m_buffers[size_t(m_next)];
    m_next = 1 - m_next;
    // Still shown elsewhere: that picture keeps its pixels, this frame gets a buffer of its own.
    if (!buffer.isDetached())
        buffer = QImage(buffer.size(), QImage::Format_ARGB32_Premultiplied);
    buffer.setDevicePixelRatio(m_look->pixelRatio);
    return buffer;
}

const QImage& EyesIconRenderer::tile(Eye& eye, const GooglyEyes& eyes, QPointF centre, QPointF pupil, double lid)
{
    const TileKey key { pupil.x(), pupil.y(), lid };
    if (const auto found = eye.tiles.find(key); found != eye.tiles.end())
        return found->second;
    if (eye.tiles.size() >= tilesPerEye)
        eye.tiles.clear();
    ++m_eyesDrawn;
    clear(m_scratch, eye.area);
    QPainter painter(&m_scratch);
    eyes.paintEye(painter, centre, pupil, lid);
    painter.end();
    return eye.tiles.emplace(key, m_scratch.copy(eye.area)).first->second;
}

QImage EyesIconRenderer::render(const EyeStyle& style, const EyesFrame& frame, int side, qreal pixelRatio)
{
    const Look look { style, side, pixelRatio, frame.tired };
    const GooglyEyes eyes = EyesItemLayout::forStyle(style).fitted(side).eyes(style, frame);
    const QPointF centre(side / 2.0, side / 2.0);
    if (m_look != look)
        start(look, eyes, centre);
    QImage& buffer = nextBuffer();
    buffer.fill(Qt::transparent);
    if (!m_apart || !eyes.pupilFits(frame.leftPupil) || !eyes.pupilFits(frame.rightPupil)) {
        // The eyes' pixels mix: the whole icon is drawn as it is.
        m_eyesDrawn += 2;
        QPainter painter(&buffer);
        eyes.paint(painter, centre);
        return buffer;
    }
    const auto [left, right] = eyes.eyeCentres(centre);
    const QImage& leftTile = tile(m_eyes[0], eyes, left, frame.leftPupil, frame.lidLeft);
    copy(leftTile, m_eyes[0].area.topLeft(), buffer, m_eyes[0].area);
    const QImage& rightTile = tile(m_eyes[1], eyes, right, frame.rightPupil, frame.lidRight);
    copy(rightTile, m_eyes[1].area.topLeft(), buffer, m_eyes[1].area);
    return buffer;
}

} // namespace nimbra
