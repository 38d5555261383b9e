#include "ui/onboarding/onboarding_stage.h"

#include "core/eye_motion.h"
#include "core/timers.h"
#include "ui/settings/music_previews.h"
#include "ui/surface/notch_shape.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QDateTime>
#include <QEvent>
#include <QFontMetricsF>
#include <QHash>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <functional>

namespace nimbra {

namespace {

// 1 January 2001, 00:00 UTC, in milliseconds of the Unix epoch.
constexpr qint64 kReferenceDateMs = 978'307'200'000;

QColor white(double opacity = 1)
{
    return QColor::fromRgbF(1, 1, 1, float(opacity));
}

QColor black(double opacity = 1)
{
    return QColor::fromRgbF(0, 0, 0, float(opacity));
}

const QColor kGreen = QColor(52, 199, 89);

double phase(double t, double period)
{
    const double cycle = std::fmod(t, period);
    return (cycle < 0 ? cycle + period : cycle) / period;
}

QFont font(double size, QFont::Weight weight = QFont::Normal, FontDesign design = FontDesign::standard)
{
    return systemFont(size, weight, design);
}

double lineHeight(const QFont& f)
{
    return QFontMetricsF(f).height();
}

double textWidth(const QFont& f, const QString& text)
{
    return QFontMetricsF(f).horizontalAdvance(text);
}

// One line with its top-left corner at `topLeft`.
void text(QPainter& p, const QString& line, const QFont& f, const QColor& colour, QPointF topLeft)
{
    p.setFont(f);
    p.setPen(colour);
    p.drawText(QPointF(topLeft.x(), topLeft.y() + QFontMetricsF(f).ascent()), line);
}

// A symbol laid out like a glyph of `size`, centred on `centre`.
void symbol(QPainter& p, const QString& name, QPointF centre, double size, const QColor& tint,
    QFont::Weight weight = QFont::Normal)
{
    const double side = symbols::side(size);
    symbols::draw(p, name, QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side), size, tint, weight);
}

// What a notch holds: its height, a painter of it into a box of the open notch's width from its
// top, and the name of its look (`key`). A body that changes often has a part drawn apart, with
// a name of its own (`liveKey`).
struct Body {
    QString key;
    double height = 0;
    std::function<void(QPainter&, const QRectF&)> paint;
    QString liveKey {};
    std::function<void(QPainter&, const QRectF&)> live {};
};

Body statusBody()
{
    const QFont clock = font(20, QFont::Light);
    const QFont small = font(8);
    const QFont charge = font(12, QFont::DemiBold);
    const QString time = QStringLiteral("9:41");
    const QString date = QStringLiteral("Thu 18 Sep");
    const QString percent = QStringLiteral("80%");
    const QString left = QStringLiteral("2h 14m left");
    const double leftWidth = std::max(textWidth(clock, time), textWidth(small, date));
    const double leftHeight = lineHeight(clock) + 1 + lineHeight(small);
    const double rightWidth = std::max(textWidth(charge, percent), textWidth(small, left));
    const double rightHeight = lineHeight(charge) + 1 + lineHeight(small);
    const double height = std::max({ leftHeight, 26.0, rightHeight });
    return { QStringLiteral("status"), height, [=](QPainter& p, const QRectF& box) {
                const double width = leftWidth + 14 + 1 + 14 + rightWidth;
                double x = box.center().x() - width / 2;
                const double mid = box.top() + height / 2;
                text(p, time, clock, white(), { x, mid - leftHeight / 2 });
                text(p, date, small, white(0.45), { x, mid - leftHeight / 2 + lineHeight(clock) + 1 });
                x += leftWidth + 14;
                p.fillRect(QRectF(x, mid - 13, 1, 26), white(0.14));
                x += 1 + 14;
                text(p, percent, charge, kGreen, { x, mid - rightHeight / 2 });
                text(p, left, small, white(0.45), { x, mid - rightHeight / 2 + lineHeight(charge) + 1 });
            } };
}

Body musicBody()
{
    const QSizeF titles = titleBlockSize(10, 8);
    const double controls = lineHeight(font(8));
    const double column = titles.height() + 4 + 2.5 + 4 + controls;
    const double height = std::max(38.0, column);
    return { QStringLiteral("music"), height, [=](QPainter& p, const QRectF& box) {
                const double mid = box.top() + height / 2;
                // The column takes the width the artwork and the padding leave.
                const double columnWidth = std::max(0.0, box.width() - 28 - 38 - 9);
                const double x = box.left() + 14;
                const QRectF art(x, mid - 19, 38, 38);
                QLinearGradient gradient(art.topLeft(), art.bottomRight());
                gradient.setColorAt(0, QColor(255, 149, 0));
                gradient.setColorAt(1, QColor(255, 45, 85));
                QPainterPath artPath;
                artPath.addRoundedRect(art, 5, 5);
                p.fillPath(artPath, gradient);
                symbol(p, QStringLiteral("music.note"), art.center(), 17, white());

                const QRectF col(art.right() + 9, mid - column / 2, columnWidth, column);
                paintTitleBlock(p, QRectF(col.left(), col.top(), col.width(), titles.height()), NotchTheme::dark(), 10,
                    8, Qt::AlignHCenter);
                const double barY = col.top() + titles.height() + 4;
                QPainterPath track;
                track.addRoundedRect(QRectF(col.left(), barY, col.width(), 2.5), 1.25, 1.25);
                p.fillPath(track, white(0.22));
                QPainterPath played;
                played.addRoundedRect(QRectF(col.left(), barY, std::min(46.0, col.width()), 2.5), 1.25, 1.25);
                p.fillPath(played, white(0.9));
                const double side = symbols::side(8);
                const double controlsY = barY + 2.5 + 4 + controls / 2;
                const double rowWidth = 3 * side + 2 * 12;
                double cx = col.center().x() - rowWidth / 2 + side / 2;
                for (const char* name : { "backward.fill", "pause.fill", "forward.fill" }) {
                    symbol(p, QString::fromLatin1(name), { cx, controlsY }, 8, white(0.85));
                    cx += side + 12;
                }
            } };
}

Body clipboardBody(double p)
{
    const QString query = OnboardingStage::clipboardQuery(p);
    const QStringList matches = OnboardingStage::clipboardMatches(query).mid(0, 3);
    const QFont entry = font(9);
    const double field = lineHeight(entry) + 8;
    const double row = lineHeight(entry) + 6;
    const double height = field + matches.size() * (3 + row);
    return { QStringLiteral("clipboard ") + query, height,
        [=](QPainter& painter, const QRectF& box) {
            const double left = box.left() + 14;
            const double width = std::max(0.0, box.width() - 28);
            double y = box.top();
            QPainterPath capsule;
            capsule.addRoundedRect(QRectF(left, y, width, field), field / 2, field / 2);
            painter.fillPath(capsule, white(0.12));
            const double glass = symbols::side(8);
            symbol(painter, QStringLiteral("magnifyingglass"), { left + 8 + glass / 2, y + field / 2 }, 8, white(0.45));
            text(painter, query.isEmpty() ? QStringLiteral("Search") : query, entry,
                query.isEmpty() ? white(0.35) : white(), { left + 8 + glass + 6, y + 4 });
            y += field;
            for (qsizetype i = 0; i < matches.size(); ++i) {
                y += 3;
                QPainterPath back;
                back.addRoundedRect(QRectF(left, y, width, row), 5, 5);
                painter.fillPath(back, i == 0 ? QColor::fromRgbF(1, 0.584f, 0, 0.28f) : white(0.06));
                const double lines = symbols::side(8);
                symbol(painter, QStringLiteral("text.alignleft"), { left + 7 + lines / 2, y + row / 2 }, 8, white(0.5));
                const double textLeft = left + 7 + lines + 6;
                const QString line = QFontMetricsF(entry).elidedText(
                    matches[i], Qt::ElideRight, std::max(0.0, left + width - 7 - textLeft));
                text(painter, line, entry, white(), { textLeft, y + 3 });
                y += row;
            }
        } };
}

Body shelfBody(bool landed)
{
    return { landed ? QStringLiteral("shelf 3") : QStringLiteral("shelf 2"), 30, [=](QPainter& p, const QRectF& box) {
                const int count = landed ? 3 : 2;
                const double width = count * 26 + (count - 1) * 8;
                double x = box.center().x() - width / 2;
                for (int i = 0; i < count; ++i) {
                    const QRectF tile(x, box.top(), 26, 30);
                    QPainterPath path;
                    path.addRoundedRect(tile, 4, 4);
                    p.fillPath(path, white(i == 2 ? 0.95 : 0.8));
                    symbol(p, QStringLiteral("doc.fill"), tile.center(), 11, black(0.35));
                    x += 26 + 8;
                }
            } };
}

Body timerBody(double seconds)
{
    const QFont label = font(7.5);
    const QFont selected = font(7.5, QFont::DemiBold);
    const QFont digits = font(24, QFont::Light, FontDesign::rounded);
    const double modes = lineHeight(label) + 4;
    const double height = modes + 5 + lineHeight(digits);
    const QString time = TimerFormat::stopwatch(seconds);
    return { QStringLiteral("timers"), height,
        [=](QPainter& p, const QRectF& box) {
            const QStringList titles { QStringLiteral("Stopwatch"), QStringLiteral("Timer"), QStringLiteral("Focus") };
            double width = 2 * 3;
            for (qsizetype i = 0; i < titles.size(); ++i)
                width += textWidth(i == 0 ? selected : label, titles[i]) + 12;
            double x = box.center().x() - width / 2;
            for (qsizetype i = 0; i < titles.size(); ++i) {
                const QFont& f = i == 0 ? selected : label;
                const double w = textWidth(f, titles[i]) + 12;
                if (i == 0) {
                    QPainterPath capsule;
                    capsule.addRoundedRect(QRectF(x, box.top(), w, modes), modes / 2, modes / 2);
                    p.fillPath(capsule, white(0.16));
                }
                text(p, titles[i], f, i == 0 ? white() : white(0.45), { x + 6, box.top() + 2 });
                x += w + 3;
            }
        },
        time,
        [=](QPainter& p, const QRectF& box) {
            text(p, time, digits, white(), { box.center().x() - textWidth(digits, time) / 2, box.top() + modes + 5 });
        } };
}

void eye(QPainter& p, QPointF centre, QPointF pupil)
{
    p.setPen(Qt::NoPen);
    p.setBrush(white());
    p.drawEllipse(centre, 7.5, 7.5);
    p.setBrush(black());
    // The offset's y grows upwards; the screen's downwards.
    p.drawEllipse(centre + QPointF(pupil.x(), -pupil.y()), 3.5, 3.5);
}

QPainterPath roundedStage(QSizeF size)
{
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(QPointF(), size), 12, 12);
    return rounded;
}

// The stage's backdrop with its border in the window's text colour.
void backdrop(QPainter& p, QSizeF size, const QColor& primary)
{
    const QRectF frame(QPointF(), size);
    p.save();
    p.setClipPath(roundedStage(size), Qt::IntersectClip);
    QLinearGradient gradient(frame.topLeft(), frame.bottomRight());
    gradient.setColorAt(0, QColor::fromRgbF(0.24f, 0.34f, 0.48f));
    gradient.setColorAt(1, QColor::fromRgbF(0.52f, 0.44f, 0.36f));
    p.fillRect(frame, gradient);
    p.restore();
    QColor border = primary;
    border.setAlphaF(0.08f);
    p.setPen(QPen(border, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), 11.5, 11.5);
}

// The eyes scene's top panel without its eyes: an app menu on the left, battery and clock on the
// right, the notch over its centre; its top corners follow the stage's.
void topPanel(QPainter& p, QSizeF size, double notchWidth)
{
    const double W = size.width();
    p.setClipPath(roundedStage(size), Qt::IntersectClip);
    p.fillRect(QRectF(0, 0, W, 30), black(0.32));
    const QFont label = font(8, QFont::DemiBold);
    const QFont clock = font(8);
    const double side = symbols::side(8);
    symbol(p, QStringLiteral("square.grid.3x3"), { 10 + side / 2, 15 }, 8, white(0.85), QFont::DemiBold);
    text(p, QStringLiteral("Files"), label, white(0.85), { 10 + side + 9, 15 - lineHeight(label) / 2 });
    const QString time = QStringLiteral("9:41");
    const double x = W - 10 - textWidth(clock, time);
    text(p, time, clock, white(0.9), { x, 15 - lineHeight(clock) / 2 });
    symbol(p, QStringLiteral("battery.75percent"), { x - 7 - side / 2, 15 }, 8, white(0.9));
    p.fillPath(NotchShape { 5, 10 }.path(QRectF((W - notchWidth) / 2, 0, notchWidth, 30)), black());
}

// The eyes' centres in the top panel, right to left of the battery.
std::pair<QPointF, QPointF> eyeCentres(QSizeF size)
{
    const double side = symbols::side(8);
    const double battery = size.width() - 10 - textWidth(font(8), QStringLiteral("9:41")) - 7 - side;
    const double right = battery - 7 - 15;
    const double left = right - 7 - 15;
    return { { left + 7.5, 15 }, { right + 7.5, 15 } };
}

} // namespace

// The pictures a frame is made of, drawn once and reused while the stage shows: the backdrop
// with its border, the eyes scene's top panel, what each notch holds, the pointer and the
// dragged file. Qt's raster engine hands a translucent or gradient fill of more than a few dozen
// spans to every thread of its pool and waits for them all; a frame put together from copies of
// these pictures, the opaque notch, the eyes and a line of text stays on the painting thread.
class OnboardingStage::Layers {
public:
    void paint(QPainter& p, QSizeF size, Scene scene, double t, double nw, double nh, const QColor& primary)
    {
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.drawImage(QPointF(),
            picture(p, QStringLiteral("backdrop ") + primary.name(QColor::HexArgb), size,
                [&](QPainter& q) { backdrop(q, size, primary); }));
        const double open = openness(scene, t);
        const double pp = phase(t, period(scene));
        switch (scene) {
        case Scene::hover:
            notch(p, size, open, { 210, 78 }, nw, nh, statusBody());
            if (pp <= 0.9)
                pointer(p, { size.width() / 2 + 12, hoverPointerY(pp) });
            break;
        case Scene::music:
            notch(p, size, open, { 240, 92 }, nw, nh, musicBody());
            break;
        case Scene::clipboard:
            notch(p, size, open, { 250, 104 }, nw, nh, clipboardBody(pp));
            break;
        case Scene::shelf: {
            notch(p, size, open, { 230, 86 }, nw, nh, shelfBody(shelfLanded(pp)));
            const double d = shelfDrag(pp);
            if (pp < 0.5 && d <= 0.9)
                draggedFile(p, QPointF(size.width() / 2 + 70 * d - 70, 150 - 118 * d + symbols::side(26) / 2));
            break;
        }
        case Scene::timers:
            notch(p, size, open, { 210, 88 }, nw, nh, timerBody(std::fmod(t, 60)));
            break;
        case Scene::eyes:
            eyesScene(p, size, t, nw);
            break;
        }
        p.restore();
    }

    void clear()
    {
        m_pictures.clear();
        m_liveKey.clear();
    }

private:
    static double devicePixelRatio(QPainter& p) { return p.device() ? p.device()->devicePixelRatioF() : 1.0; }
    static QString keyOf(QPainter& p, const QString& name, QSizeF size)
    {
        return QStringLiteral("%1 %2x%3@%4").arg(name).arg(size.width()).arg(size.height()).arg(devicePixelRatio(p));
    }

    // The picture `name` of `size` at the painter's pixel density, drawn by `draw` the first time.
    const QImage& picture(QPainter& p, const QString& name, QSizeF size, const std::function<void(QPainter&)>& draw)
    {
        const double dpr = devicePixelRatio(p);
        const QString key = keyOf(p, name, size);
        auto found = m_pictures.constFind(key);
        if (found != m_pictures.constEnd())
            return *found;
        QImage image((size * dpr).toSize().expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter q(&image);
        q.setRenderHint(QPainter::Antialiasing);
        draw(q);
        q.end();
        return *m_pictures.insert(key, image);
    }

    // The notch opened to `open` of the scene's open size, with the body fading in once it is
    // more than 55 % open; it hangs from the stage's top edge, centred. The body is laid out for
    // the open notch and shows through the growing one.
    void notch(QPainter& p, QSizeF stage, double open, QSizeF openSize, double notchWidth, double notchHeight,
        const Body& body)
    {
        const double w = notchWidth + (openSize.width() - notchWidth) * open;
        const double h = notchHeight + (openSize.height() - notchHeight) * open;
        const QRectF frame((stage.width() - w) / 2, 0, w, h);
        // Opaque, so it stays on this thread however large.
        p.fillPath(NotchShape { 7, 14 }.path(frame), black());
        const double opacity = std::max(0.0, (open - 0.55) / 0.45);
        if (opacity <= 0)
            return;
        // Below the closed notch's band, centred in what is left with 6 points kept at the bottom.
        const double free = h - body.height;
        const double top = std::clamp(free / 2, notchHeight, std::max(notchHeight, free - 6));
        const QRectF box(frame.center().x() - openSize.width() / 2, frame.top() + top, openSize.width(), body.height);
        // A margin keeps antialiased edges at the box's rim.
        constexpr double margin = 2;
        const QSizeF pictureSize = box.size() + QSizeF(2 * margin, 2 * margin);
        const QRectF inPicture(QPointF(margin, margin), box.size());
        const QImage& still = picture(
            p, QStringLiteral("body ") + body.key, pictureSize, [&](QPainter& q) { body.paint(q, inPicture); });
        p.save();
        p.setClipRect(frame, Qt::IntersectClip);
        p.setOpacity(p.opacity() * std::min(opacity, 1.0));
        p.drawImage(box.topLeft() - QPointF(margin, margin), still);
        if (body.live) {
            // Only the latest look of the changing part is kept.
            const QString name = QStringLiteral("live %1 %2").arg(body.key, body.liveKey);
            if (const QString key = keyOf(p, name, pictureSize); key != m_liveKey) {
                m_pictures.remove(m_liveKey);
                m_liveKey = key;
            }
            p.drawImage(box.topLeft() - QPointF(margin, margin),
                picture(p, name, pictureSize, [&](QPainter& q) { body.live(q, inPicture); }));
        }
        p.restore();
    }

    // A symbol over a larger one in the shadow's colour, centred on `centre`.
    struct Shadowed {
        QString name;
        double size;
        QColor tint;
        double shadowSize;
        QPointF shadowOffset;
        QColor shadow;
        QFont::Weight weight = QFont::Normal;
    };
    void drawShadowed(QPainter& p, const Shadowed& s, QPointF centre)
    {
        const double side = symbols::side(s.shadowSize) + 2 * std::abs(s.shadowOffset.y()) + 4;
        const QImage& image = picture(p, QStringLiteral("symbol ") + s.name, QSizeF(side, side), [&](QPainter& q) {
            const QPointF middle(side / 2, side / 2);
            symbol(q, s.name, middle + s.shadowOffset, s.shadowSize, s.shadow, s.weight);
            symbol(q, s.name, middle, s.size, s.tint, s.weight);
        });
        p.drawImage(centre - QPointF(side / 2, side / 2), image);
    }

    // The pointer, white with a soft shadow, its box's top centre at `topCentre`.
    void pointer(QPainter& p, QPointF topCentre)
    {
        const double side = symbols::side(17);
        drawShadowed(p, { QStringLiteral("cursorarrow"), 17, white(), 17.5, { 0, 1 }, black(0.5), QFont::Medium },
            QPointF(topCentre.x(), topCentre.y() + side / 2));
    }

    void draggedFile(QPainter& p, QPointF centre)
    {
        drawShadowed(p, { QStringLiteral("doc.fill"), 26, white(0.95), 27, { 0, 2 }, black(0.3) }, centre);
    }

    void eyesScene(QPainter& p, QSizeF size, double t, double notchWidth)
    {
        const double W = size.width(), H = size.height();
        const QPointF at = eyesPointer(t);
        const QPointF pupil
            = EyeGeometry::pupilOffset(QPointF(W / 2 + 34, H - 15), QPointF(at.x() * W, H - at.y() * H), 4, true);
        p.drawImage(QPointF(),
            picture(p, QStringLiteral("top panel %1").arg(notchWidth), QSizeF(W, 30),
                [&](QPainter& q) { topPanel(q, size, notchWidth); }));
        const auto [left, right] = eyeCentres(size);
        eye(p, left, pupil);
        eye(p, right, pupil);
        const double pointerSide = symbols::side(17);
        pointer(p, QPointF(at.x() * W, at.y() * H - pointerSide / 2));
    }

    QHash<QString, QImage> m_pictures;
    // The key of the changing part's picture.
    QString m_liveKey;
};

OnboardingStage::OnboardingStage(Scene scene, double notchWidth, double notchHeight, QWidget* parent)
    : QWidget(parent)
    , m_scene(scene)
    , m_notchWidth(notchWidth)
    , m_notchHeight(notchHeight)
    , m_layers(std::make_unique<Layers>())
{
    setFixedHeight(int(height));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_frames.setSingleShot(true);
    connect(&m_frames, &QTimer::timeout, this, &OnboardingStage::frame);
}

OnboardingStage::~OnboardingStage() = default;

QSize OnboardingStage::sizeHint() const
{
    return { 508, int(height) };
}

void OnboardingStage::setScene(Scene scene)
{
    if (scene == m_scene)
        return;
    m_previous = m_scene;
    m_fadeStart = time();
    m_scene = scene;
    update();
    if (m_frames.isActive())
        armClock();
}

bool OnboardingStage::isFading() const
{
    return m_previous && time() - m_fadeStart < fadeDuration;
}

double OnboardingStage::now()
{
    return double(QDateTime::currentMSecsSinceEpoch() - kReferenceDateMs) / 1000.0;
}

double OnboardingStage::period(Scene scene)
{
    switch (scene) {
    case Scene::hover:
    case Scene::shelf:
        return 5;
    case Scene::music:
    case Scene::clipboard:
    case Scene::timers:
        return 5.5;
    case Scene::eyes:
        return 4.5;
    }
    return 5;
}

double OnboardingStage::envelope(double p, double a, double b)
{
    if (!(p > a && p < b))
        return 0;
    const double q = (p - a) / (b - a);
    if (q < 0.18)
        return q / 0.18;
    if (q > 0.82)
        return (1 - q) / 0.18;
    return 1;
}

double OnboardingStage::openness(Scene scene, double t)
{
    const double p = phase(t, period(scene));
    switch (scene) {
    case Scene::hover:
        return envelope(p, 0.28, 0.86);
    case Scene::shelf:
        return envelope(p, 0.1, 0.94);
    case Scene::music:
    case Scene::clipboard:
    case Scene::timers:
        return envelope(p, 0.12, 0.94);
    case Scene::eyes:
        return 0;
    }
    return 0;
}

QString OnboardingStage::clipboardQuery(double p)
{
    const int typed = std::clamp(int(std::floor(9 * p)), 0, 3);
    return QStringLiteral("repo").left(typed);
}

QStringList OnboardingStage::clipboardMatches(const QString& query)
{
    static const QStringList entries { QStringLiteral("Quarterly report"), QStringLiteral("https://news.example.com"),
        QStringLiteral("meeting notes") };
    QStringList matches;
    for (const QString& entry : entries) {
        if (query.isEmpty() || entry.toLower().contains(query.toLower()))
            matches.append(entry);
    }
    return matches;
}

double OnboardingStage::shelfDrag(double p)
{
    return std::clamp((p - 0.12) / 0.34, 0.0, 1.0);
}

double OnboardingStage::hoverPointerY(double p)
{
    return std::max(28.0, 130 - 96 * std::min(p / 0.3, 1.0));
}

double OnboardingStage::nextChange(Scene scene, double t)
{
    // Each scene's movements as spans of its cycle's phase, and the moments something jumps.
    struct Span {
        double from, to;
    };
    const auto ramps = [](double a, double b) {
        const double ramp = 0.18 * (b - a);
        return std::vector<Span> { { a, a + ramp }, { b - ramp, b } };
    };
    std::vector<Span> moving;
    std::vector<double> jumps;
    switch (scene) {
    case Scene::hover:
        moving = ramps(0.28, 0.86);
        moving.push_back({ 0, 0.3 }); // the pointer climbs
        jumps = { 0.9 }; // the pointer goes
        break;
    case Scene::music:
        moving = ramps(0.12, 0.94);
        break;
    case Scene::clipboard:
        moving = ramps(0.12, 0.94);
        jumps = { 1.0 / 9, 2.0 / 9, 3.0 / 9 }; // a character typed
        break;
    case Scene::shelf:
        moving = ramps(0.1, 0.94);
        moving.push_back({ 0.12, 0.46 }); // the file is dragged
        jumps = { 0.5 }; // it lands
        break;
    case Scene::timers: {
        // The digits count tenths while the notch shows them.
        if (openness(scene, t) >= 1) {
            const double tenth = std::fmod(t, 0.1);
            const std::vector<Span> ramp = ramps(0.12, 0.94);
            const double p = phase(t, period(scene));
            const double untilClosing = (ramp[1].from - p) * period(scene);
            return std::min(0.1 - (tenth < 0 ? tenth + 0.1 : tenth), std::max(0.0, untilClosing));
        }
        moving = ramps(0.12, 0.94);
        break;
    }
    case Scene::eyes:
        return 0;
    }
    const double P = period(scene);
    const double p = phase(t, P);
    double next = 1; // the cycle's end, where the picture starts over
    for (const Span& span : moving) {
        if (p >= span.from && p < span.to)
            return 0;
        if (span.from > p)
            next = std::min(next, span.from);
    }
    for (const double jump : jumps) {
        if (jump > p)
            next = std::min(next, jump);
    }
    return (next - p) * P;
}

QPointF OnboardingStage::eyesPointer(double t)
{
    const double a = 2 * M_PI * t / 4.5;
    return { 0.5 + 0.34 * std::cos(a), 0.62 + 0.3 * std::sin(1.4 * a) };
}

void OnboardingStage::paint(
    QPainter& p, QSizeF size, Scene scene, double t, double notchWidth, double notchHeight, const QColor& primary)
{
    Layers().paint(p, size, scene, t, notchWidth, notchHeight, primary);
}

void OnboardingStage::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const double t = time();
    const QColor primary = palette().color(QPalette::WindowText);
    if (m_previous && (t - m_fadeStart) / fadeDuration >= 1)
        m_previous.reset();
    if (!m_previous) {
        m_layers->paint(p, size(), m_scene, t, m_notchWidth, m_notchHeight, primary);
        return;
    }
    // The scene coming in is put together apart and laid over the one going, as one picture:
    // its parts drawn translucent one by one would each be a translucent fill.
    const double k = std::clamp((t - m_fadeStart) / fadeDuration, 0.0, 1.0);
    // Ease in and out: the old scene gives way slowly at first and last.
    const double eased = k < 0.5 ? 2 * k * k : 1 - std::pow(-2 * k + 2, 2) / 2;
    m_layers->paint(p, size(), *m_previous, t, m_notchWidth, m_notchHeight, primary);
    const double dpr = p.device()->devicePixelRatioF();
    QImage incoming((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
    incoming.setDevicePixelRatio(dpr);
    incoming.fill(Qt::transparent);
    QPainter q(&incoming);
    m_layers->paint(q, size(), m_scene, t, m_notchWidth, m_notchHeight, primary);
    q.end();
    p.setOpacity(eased);
    p.drawImage(QPointF(), incoming);
}

void OnboardingStage::showEvent(QShowEvent*)
{
    // Expose events reach the window, not this widget: a minimised or covered-up window
    // stops the clock through them.
    QWindow* handle = window()->windowHandle();
    if (handle && handle != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        handle->installEventFilter(this);
        m_watchedWindow = handle;
        connect(handle, &QObject::destroyed, this, [this, handle] {
            if (m_watchedWindow == handle)
                m_watchedWindow = nullptr;
        });
    }
    syncClock();
}

void OnboardingStage::hideEvent(QHideEvent*)
{
    syncClock();
    // Drawn again when shown: a closed window keeps no pictures.
    m_layers->clear();
}

bool OnboardingStage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_watchedWindow && event->type() == QEvent::Expose)
        QMetaObject::invokeMethod(this, &OnboardingStage::syncClock, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void OnboardingStage::syncClock()
{
    const QWindow* handle = window()->windowHandle();
    const bool onScreen = isVisible() && handle && handle->isExposed();
    if (onScreen && !m_frames.isActive()) {
        update();
        armClock();
    } else if (!onScreen) {
        m_frames.stop();
    }
}

void OnboardingStage::frame()
{
    update();
    armClock();
}

void OnboardingStage::armClock()
{
    const double t = time();
    double wait = isFading() ? 0 : nextChange(m_scene, t);
    // Lands just past the change, and never sooner than the frame rate allows.
    wait = std::max(wait + 0.002, frameIntervalMs / 1000.0);
    m_frames.start(int(std::ceil(wait * 1000)));
}

} // namespace nimbra
