#pragma once

#include "core/eye_motion.h"
#include "ui/eyes/googly_eyes.h"

#include <QImage>
#include <QPointF>
#include <QRect>
#include <array>
#include <map>
#include <optional>
#include <tuple>

namespace nimbra {

// Draws the tray's eye icons frame after frame for little. Each eye is drawn on its own into
// a tile, kept by pupil offset and lid: the pupils of a moving pointer come back to the same
// quarter pixels again and again, so most frames only copy two tiles. Nothing of an eye lies
// outside its circle, so where the two circles cover pixels apart the icon has the same pixels
// as one drawn afresh; where they share a pixel (a tiny gap) every frame is drawn afresh.
class EyesIconRenderer {
public:
    // The icon of `side` × `side` pixels (times `pixelRatio`) showing `frame` as it is given
    // (callers snap it to what the icon can show first). The image is one of two buffers the
    // renderer draws into in turn; one still shared when its turn comes is left as it is.
    QImage render(const EyeStyle& style, const EyesFrame& frame, int side, qreal pixelRatio);
    // Eyes drawn so far (a frame found in the tiles draws none).
    int eyesDrawn() const { return m_eyesDrawn; }

    // Tiles kept per eye: enough for every quarter-pixel place of the pupil at the tray's
    // sizes; beyond it the tiles start over.
    static constexpr std::size_t tilesPerEye = 400;

private:
    struct Look {
        EyeStyle style;
        int side = 0;
        qreal pixelRatio = 1;
        bool tired = false;

        friend bool operator==(const Look&, const Look&) = default;
    };
    // A pupil offset and a lid closure.
    using TileKey = std::tuple<double, double, double>;
    struct Eye {
        // The device pixels its circle touches.
        QRect area;
        std::map<TileKey, QImage> tiles;
    };

    void start(const Look& look, const GooglyEyes& eyes, QPointF centre);
    const QImage& tile(Eye& eye, const GooglyEyes& eyes, QPointF centre, QPointF pupil, double lid);
    QImage& nextBuffer();

    std::optional<Look> m_look;
    std::array<Eye, 2> m_eyes;
    // Whether the two eyes' areas lie apart.
    bool m_apart = false;
    // Where a tile is drawn: the size of the icon, so the eye sits exactly as in the icon.
    QImage m_scratch;
    std::array<QImage, 2> m_buffers;
    int m_next = 0;
    int m_eyesDrawn = 0;
};

} // namespace nimbra
