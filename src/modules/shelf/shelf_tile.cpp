#include "modules/shelf/shelf_tile.h"

#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QApplication>
#include <QDrag>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>

namespace nimbra {

namespace {

// A disc with a mark on it, in two colours, the way the design's palette symbols look.
enum class Mark { none, check, cross };

void drawMarkedDisc(QPainter& p, const QRectF& box, const QColor& disc, const QColor& mark, Mark kind,
    const std::optional<QColor>& ring = std::nullopt)
{
    const double d = std::min(box.width(), box.height());
    const QRectF circle(box.center().x() - d / 2, box.center().y() - d / 2, d, d);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(circle);
    if (ring) {
        const double width = std::max(1.0, d * 0.09);
        p.setPen(QPen(*ring, width));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(circle.adjusted(width / 2, width / 2, -width / 2, -width / 2));
    }
    QPen pen(mark, std::max(1.0, d * 0.11), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double x = circle.left(), y = circle.top();
    if (kind == Mark::check) {
        const QPointF pts[]
            = { { x + d * 0.29, y + d * 0.52 }, { x + d * 0.44, y + d * 0.67 }, { x + d * 0.72, y + d * 0.37 } };
        p.drawPolyline(pts, 3);
    } else if (kind == Mark::cross) {
        p.drawLine(QPointF(x + d * 0.34, y + d * 0.34), QPointF(x + d * 0.66, y + d * 0.66));
        p.drawLine(QPointF(x + d * 0.66, y + d * 0.34), QPointF(x + d * 0.34, y + d * 0.66));
    }
    p.restore();
}

// "Take this one off the shelf": a white cross on a dark disc, its whole square clickable.
class RemoveButton : public QAbstractButton {
public:
    RemoveButton(const SurfaceMetrics& metrics, QWidget* parent)
        : QAbstractButton(parent)
        , m_metrics(metrics)
    {
        const QString tip = QStringLiteral("Take this one off the shelf");
        setToolTip(tip);
        setAccessibleName(tip);
        setFocusPolicy(Qt::NoFocus);
        const int edge = int(symbols::side(metrics.font(14)) + 2 * metrics.space(3));
        resize(edge, edge);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const double pad = m_metrics.space(3);
        QColor disc(Qt::black);
        disc.setAlphaF(0.7f);
        drawMarkedDisc(p, QRectF(rect()).adjusted(pad, pad, -pad, -pad), disc, Qt::white, Mark::cross);
    }

private:
    SurfaceMetrics m_metrics;
};

QFont nameFont(const SurfaceMetrics& metrics)
{
    return systemFont(metrics.font(8.5));
}

} // namespace

namespace shelf_drag {

QMimeData* mimeData(const QUrl& file)
{
    auto* data = new QMimeData;
    data->setUrls({ file });
    data->setData(QStringLiteral("x-special/gnome-copied-files"), "copy\n" + file.toEncoded());
    return data;
}

QObject* source()
{
    static QObject* object = [] {
        auto* o = new QObject(QCoreApplication::instance());
        o->setObjectName(QStringLiteral("nimbra-shelf-drag"));
        return o;
    }();
    return object;
}

void start(const QUrl& file, const QPixmap& image, double side, double pixelRatio)
{
    QPointer<QObject> from(source());
    // Out of the tile's own event handling: the tile may be gone before the drag ends.
    QTimer::singleShot(0, from, [from, file, image, side, pixelRatio] {
        if (!from)
            return;
        auto* drag = new QDrag(from);
        drag->setMimeData(mimeData(file));
        if (!image.isNull()) {
            const int edge = std::max(1, int(std::lround(side * pixelRatio)));
            QPixmap preview = image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            preview.setDevicePixelRatio(pixelRatio);
            drag->setPixmap(preview);
            drag->setHotSpot(QPoint(
                int(preview.deviceIndependentSize().width() / 2), int(preview.deviceIndependentSize().height() / 2)));
        }
        // A drop's data is read by its target after this returns; Qt lets the drag go once the
        // target has finished. One that ended in nothing is let go here.
        if (drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction) == Qt::IgnoreAction)
            drag->deleteLater();
    });
}

} // namespace shelf_drag

QSizeF ShelfTile::tileSize(double side, const SurfaceMetrics& metrics)
{
    const QFontMetricsF names(nameFont(metrics));
    return QSizeF(std::ceil(side + metrics.space(10)), std::ceil(side + metrics.space(3) + names.height()));
}

ShelfTile::ShelfTile(const ShelfItem& item, const QPixmap& image, double side, const SurfaceMetrics& metrics,
    bool isSelecting, bool isSelected, QWidget* parent)
    : QWidget(parent)
    , m_item(item)
    , m_image(image)
    , m_side(side)
    , m_metrics(metrics)
    , m_isSelecting(isSelecting)
    , m_isSelected(isSelected)
    , m_remove(new RemoveButton(metrics, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setToolTip(item.path());
    setAccessibleName(item.name());
    resize(tileSize(side, metrics).toSize());
    placeRemoveButton();
    connect(m_remove, &QAbstractButton::clicked, this, [this] {
        if (onRemove)
            onRemove();
    });
    syncRemoveButton();
}

void ShelfTile::update(const ShelfItem& item, const QPixmap& image, bool isSelecting, bool isSelected)
{
    const bool changed = !(item == m_item) || image.cacheKey() != m_image.cacheKey() || isSelecting != m_isSelecting
        || isSelected != m_isSelected;
    m_item = item;
    m_image = image;
    m_isSelecting = isSelecting;
    m_isSelected = isSelected;
    setToolTip(item.path());
    syncRemoveButton();
    if (changed)
        QWidget::update();
}

QRectF ShelfTile::pictureRect() const
{
    return QRectF((width() - m_side) / 2, 0, m_side, m_side);
}

void ShelfTile::placeRemoveButton()
{
    const QRectF picture = pictureRect();
    m_remove->move(int(std::round(picture.right() - m_remove->width())), int(std::round(picture.top())));
}

void ShelfTile::setTileWidth(int width)
{
    if (width == this->width())
        return;
    resize(width, height());
    placeRemoveButton();
}

QString ShelfTile::oneLine(const QString& name)
{
    static const QChar mark(0x23CE);
    QString line;
    line.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const QChar c = name.at(i);
        if (c == u'\r' && i + 1 < name.size() && name.at(i + 1) == u'\n')
            continue;
        const bool lineBreak = c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
        line += lineBreak ? mark : c;
    }
    return line;
}

QString ShelfTile::shortened(const QString& name, const QFontMetricsF& font, double width)
{
    if (font.horizontalAdvance(name) <= width)
        return name;
    // An extension is a short ending after a dot that is not the name's first character.
    const qsizetype dot = name.lastIndexOf(u'.');
    const bool hasExtension = dot > 0 && name.size() - dot <= 8;
    if (hasExtension) {
        const QString extension = name.mid(dot);
        const double room = width - font.horizontalAdvance(extension);
        const QString stem = font.elidedText(name.left(dot), Qt::ElideRight, room);
        // Something of the stem must stay besides the ellipsis.
        if (room > 0 && stem.size() > 1)
            return stem + extension;
    }
    return font.elidedText(name, Qt::ElideRight, width);
}

QString ShelfTile::shownName() const
{
    return shortened(oneLine(m_item.name()), QFontMetricsF(nameFont(m_metrics)), width());
}

void ShelfTile::setShowsName(bool shows)
{
    if (shows == m_showsName)
        return;
    m_showsName = shows;
    QWidget::update();
}

void ShelfTile::paintEvent(QPaintEvent*)
{
    const NotchTheme theme = notchTheme(this);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF picture = pictureRect();
    const double radius = m_side * 0.09;
    QPainterPath rounded;
    rounded.addRoundedRect(picture, radius, radius);

    if (!m_image.isNull()) {
        const QSizeF size = m_image.deviceIndependentSize();
        const double fit = std::min(picture.width() / size.width(), picture.height() / size.height());
        const QSizeF shown = size * fit;
        const QRectF target(picture.center().x() - shown.width() / 2, picture.center().y() - shown.height() / 2,
            shown.width(), shown.height());
        p.save();
        p.setClipPath(rounded);
        p.drawPixmap(target, m_image, QRectF(m_image.rect()));
        p.restore();
    }

    if (m_isSelecting) {
        if (m_isSelected) {
            const double width = 2.5;
            p.setPen(QPen(theme.accent(), width));
            p.setBrush(Qt::NoBrush);
            p.drawRoundedRect(picture.adjusted(width / 2, width / 2, -width / 2, -width / 2), radius, radius);
        }
        // The selection mark; the whole tile toggles, not the mark.
        const double mark = symbols::side(m_metrics.font(14));
        const double pad = m_metrics.space(4);
        const QRectF box(picture.right() - pad - mark, picture.top() + pad, mark, mark);
        if (m_isSelected) {
            drawMarkedDisc(p, box, theme.accent(), Qt::white, Mark::check);
        } else {
            QColor ring(Qt::white);
            ring.setAlphaF(0.85f);
            QColor disc(Qt::black);
            disc.setAlphaF(0.45f);
            drawMarkedDisc(p, box, disc, Qt::transparent, Mark::none, ring);
        }
    }

    if (!m_showsName)
        return;
    const QFont font = nameFont(m_metrics);
    p.setFont(font);
    p.setPen(theme.secondaryText(m_hovering ? 0.8 : 0.5));
    const QRectF line(0, picture.bottom() + m_metrics.space(3), width(), QFontMetricsF(font).height());
    p.drawText(line, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, shownName());
}

void ShelfTile::setHovering(bool hovering)
{
    if (hovering == m_hovering)
        return;
    m_hovering = hovering;
    syncRemoveButton();
    QWidget::update();
}

void ShelfTile::syncRemoveButton()
{
    m_remove->setVisible(m_hovering && !m_isSelecting);
}

void ShelfTile::enterEvent(QEnterEvent*)
{
    setHovering(true);
}

void ShelfTile::leaveEvent(QEvent*)
{
    setHovering(false);
}

void ShelfTile::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressedAt = event->position();
    m_pressIsDoubleClick = false;
    event->accept();
}

void ShelfTile::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_pressedAt || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position() - *m_pressedAt).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressedAt.reset();
    // Selecting, tiles do not move.
    if (!m_isSelecting)
        beginDrag();
}

void ShelfTile::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressedAt)
        return;
    m_pressedAt.reset();
    const bool single = !m_pressIsDoubleClick;
    m_pressIsDoubleClick = false;
    if (single && m_isSelecting && rect().contains(event->position().toPoint()) && onToggleSelect)
        onToggleSelect();
}

void ShelfTile::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // The second press of a double click starts no click of its own.
    m_pressedAt = event->position();
    m_pressIsDoubleClick = true;
    if (!m_isSelecting && onReveal)
        onReveal();
}

void ShelfTile::beginDrag()
{
    // A file that went away is not offered to anyone; the shelf lets it go instead.
    if (!m_item.stillExists()) {
        if (onVanished)
            onVanished();
        return;
    }
    shelf_drag::start(m_item.url, m_image, m_side, devicePixelRatioF());
}

} // namespace nimbra
