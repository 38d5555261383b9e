#pragma once

#include "core/eye_motion.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <utility>

class QPainter;

namespace nimbra {

// One frame of the eyes: pupil offsets (y up) and lid closures (0 open, 1 shut).
struct EyesFrame {
    QPointF leftPupil;
    QPointF rightPupil;
    double lidLeft = 0;
    double lidRight = 0;
    bool tired = false;

    friend bool operator==(const EyesFrame&, const EyesFrame&) = default;
};

// A pair of eyes in the style's colours: a sclera with a faint rim, a pupil moved by its
// offset, and a black lid that hangs from the top, all cut to the eye's circle.
struct GooglyEyes {
    EyeStyle style; // colours only
    double diameter = 18;
    double gap = 4;
    EyesFrame frame;
    // The rim is 0.05 × the diameter, but no thinner than this.
    double minimumRim = 0;
    // A lid at or below this closure is not drawn.
    double lidThreshold = 0.005;

    QSizeF size() const { return { 2 * diameter + gap, diameter }; }
    // Draws the row of both eyes centred on `centre`.
    void paint(QPainter& painter, QPointF centre) const;
    // Draws one eye at `centre` (Qt coordinates): with a pupil that fits, all of it lies in
    // its circle, but for the stroked rim's overshoot of a fraction of its width.
    void paintEye(QPainter& painter, QPointF centre, QPointF pupil, double lid) const;
    // The two eye centres of the row centred on `centre`.
    std::pair<QPointF, QPointF> eyeCentres(QPointF centre) const;
    // The rim's width: 0.05 × the diameter, at least `minimumRim`.
    double rimWidth() const;
    // Whether the pupil at `pupil` lies within its eye's circle (drawn there, it stays in it).
    bool pupilFits(QPointF pupil) const;
};

// The eyes as the tray item lays them out: every size follows the diameter clamped to 9…20,
// with a margin of 2 on either side. In a square icon the whole row is scaled to fit, so the
// diameter, gap, margin and pupil travel shrink together.
struct EyesItemLayout {
    double diameter = 18;
    double gap = 0;
    double margin = 2;

    static EyesItemLayout forStyle(const EyeStyle& style);
    // The same row scaled to fill the width `side`.
    EyesItemLayout fitted(double side) const;

    double width() const { return 2 * diameter + gap + 2 * margin; }
    // How far a pupil may move from its eye's centre: the radius less the pupil's and a rim.
    double travel() const { return 0.21 * diameter; }
    // The two eye centres in `rect`, vertically in its middle (any y orientation).
    std::pair<QPointF, QPointF> centres(const QRectF& rect) const;
    // The eyes drawn in `rect` as the tray item draws them.
    GooglyEyes eyes(const EyeStyle& style, const EyesFrame& frame) const;
};

} // namespace nimbra
