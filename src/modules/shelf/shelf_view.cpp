#include "modules/shelf/shelf_view.h"

#include "core/clamped.h"
#include "modules/shelf/shelf_tile.h"
#include "platform/thumbnails/file_thumbnails.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/symbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>

namespace nimbra {

namespace {

// The strip scrolls sideways by whole tiles, so that at rest no tile is cut at its edges; a
// plain wheel moves it too.
class Strip : public QScrollArea {
public:
    explicit Strip(QWidget* parent)
        : QScrollArea(parent)
    {
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWidgetResizable(false);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_TranslucentBackground);
        viewport()->setAutoFillBackground(false);
        viewport()->setAttribute(Qt::WA_TranslucentBackground);
    }

    // The distance from one tile to the next; scroll positions are whole multiples of it.
    void setPitch(int pitch)
    {
        m_pitch = std::max(1, pitch);
        m_pending = 0;
        snap();
    }
    int pitch() const { return m_pitch; }
    // Moves by `tiles` whole tiles, as far as there are tiles.
    void step(int tiles)
    {
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(std::clamp(bar->value() + tiles * m_pitch, 0, lastPosition()));
    }
    // Back onto a whole tile after the row or the pitch changed.
    void snap()
    {
        QScrollBar* bar = horizontalScrollBar();
        const int tiles = int(std::lround(double(bar->value()) / m_pitch));
        bar->setValue(std::clamp(tiles * m_pitch, 0, lastPosition()));
    }

protected:
    void wheelEvent(QWheelEvent* event) override
    {
        // A notch of a wheel is one tile; a touchpad's fine movement steps once it went half a
        // tile's way.
        const QPoint pixels = event->pixelDelta();
        const QPoint angle = event->angleDelta();
        const bool fine = !pixels.isNull();
        const int along = fine ? (pixels.x() != 0 ? pixels.x() : pixels.y()) : (angle.x() != 0 ? angle.x() : angle.y());
        const double threshold = fine ? m_pitch / 2.0 : 120.0;
        if ((along > 0) != (m_pending > 0))
            m_pending = 0;
        m_pending += along;
        int tiles = 0;
        while (std::abs(m_pending) >= threshold) {
            tiles += m_pending > 0 ? -1 : 1;
            m_pending += m_pending > 0 ? -threshold : threshold;
        }
        if (tiles != 0)
            step(tiles);
        event->accept();
    }

private:
    // The row is laid out so that this is a whole number of tiles.
    int lastPosition() const { return horizontalScrollBar()->maximum(); }

    int m_pitch = 1;
    double m_pending = 0;
};

// Over the strip's ends: where more tiles lie beyond an end, that end fades into the surface.
class StripFades : public QWidget {
public:
    StripFades(QScrollArea* strip, QWidget* parent)
        : QWidget(parent)
        , m_strip(strip)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_TranslucentBackground);
    }

    void setFadeWidth(double width) { m_width = width; }
    bool fadesLeft() const { return m_strip->horizontalScrollBar()->value() > 0; }
    bool fadesRight() const
    {
        const QScrollBar* bar = m_strip->horizontalScrollBar();
        return bar->value() < bar->maximum();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        const QColor surface = notchTheme(this).surface();
        QColor clear = surface;
        clear.setAlpha(0);
        auto fade = [&](double from, double to) {
            QLinearGradient gradient(from, 0, to, 0);
            gradient.setColorAt(0, surface);
            gradient.setColorAt(1, clear);
            p.fillRect(QRectF(std::min(from, to), 0, std::abs(to - from), height()), gradient);
        };
        if (fadesLeft())
            fade(0, m_width);
        if (fadesRight())
            fade(width(), width() - m_width);
    }

private:
    QScrollArea* m_strip;
    double m_width = 0;
};

// The header's buttons: a symbol alone, a capsule with a title, or the capsule of "Delete".
class HeaderButton : public QAbstractButton {
public:
    enum class Kind { symbol, text, destructive };

    HeaderButton(Kind kind, const QString& title, const QString& symbol, const SurfaceMetrics& metrics, QWidget* parent)
        : QAbstractButton(parent)
        , m_kind(kind)
        , m_symbol(symbol)
        , m_metrics(metrics)
    {
        setText(title);
        setAccessibleName(title);
        setFocusPolicy(Qt::NoFocus);
        resize(preferredSize().toSize());
    }

    void setTitle(const QString& title)
    {
        if (title == text())
            return;
        setText(title);
        setAccessibleName(title);
        resize(preferredSize().toSize());
    }

    QSizeF preferredSize() const
    {
        const SurfaceMetrics& m = m_metrics;
        if (m_kind == Kind::symbol)
            return QSizeF(m.size(26), m.size(20));
        const QFontMetricsF font(titleFont());
        const double textWidth = std::ceil(font.horizontalAdvance(text()));
        if (m_kind == Kind::text)
            return QSizeF(textWidth + 2 * m.space(7), std::ceil(font.height()) + 2 * m.space(3));
        const double glyph = symbols::side(m.font(9.5));
        return QSizeF(glyph + m.space(4) + textWidth + 2 * m.space(8),
            std::ceil(std::max(font.height(), glyph)) + 2 * m.space(3));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const NotchTheme theme = notchTheme(this);
        const SurfaceMetrics& m = m_metrics;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect());
        if (m_kind == Kind::symbol) {
            symbols::draw(p, m_symbol, box, m.font(11), theme.secondaryText(0.45));
            return;
        }
        const bool live = isEnabled();
        QColor fill = theme.well(0.12);
        QColor ink = theme.secondaryText(0.65);
        if (m_kind == Kind::destructive) {
            if (live) {
                fill = theme.bad();
                fill.setAlphaF(0.85f);
                ink = Qt::white;
            } else {
                ink = theme.secondaryText(0.3);
            }
        }
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawRoundedRect(box, box.height() / 2, box.height() / 2);
        const QFont font = titleFont();
        const QFontMetricsF metrics(font);
        p.setFont(font);
        p.setPen(ink);
        if (m_kind == Kind::text) {
            p.drawText(box, Qt::AlignCenter, text());
            return;
        }
        const double glyph = symbols::side(m.font(9.5));
        const double left = m.space(8);
        symbols::draw(
            p, m_symbol, QRectF(left, (height() - glyph) / 2, glyph, glyph), m.font(9.5), ink, QFont::DemiBold);
        p.drawText(QRectF(left + glyph + m.space(4), 0, width() - left - glyph - m.space(4), height()),
            Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    QFont titleFont() const
    {
        return systemFont(m_metrics.font(9.5), m_kind == Kind::destructive ? QFont::DemiBold : QFont::Medium);
    }

    Kind m_kind;
    QString m_symbol;
    SurfaceMetrics m_metrics;
};

HeaderButton* header(QAbstractButton* button)
{
    return static_cast<HeaderButton*>(button);
}

} // namespace

double ShelfView::tileSide(const SurfaceMetrics& metrics)
{
    return clamped(metrics.contentHeight() * 0.52, 40.0, 96.0);
}

QString ShelfView::countTitle(qsizetype count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files"));
}

QString ShelfView::selectionTitle(qsizetype selected)
{
    return selected == 0 ? QStringLiteral("Select files") : QString::number(selected) + QStringLiteral(" selected");
}

QString ShelfView::selectAllTitle(qsizetype items, qsizetype selected)
{
    return items > 0 && selected == items ? QStringLiteral("None") : QStringLiteral("All");
}

ShelfView::ShelfView(const State& state, const SurfaceMetrics& metrics, Actions actions, QWidget* parent)
    : ShelfView(state, metrics, std::move(actions), FileThumbnails::shared(), parent)
{
}

ShelfView::ShelfView(
    const State& state, const SurfaceMetrics& metrics, Actions actions, FileThumbnails& thumbnails, QWidget* parent)
    : QWidget(parent)
    , m_metrics(metrics)
    , m_actions(std::move(actions))
    , m_thumbnails(thumbnails)
    , m_side(tileSide(metrics))
    , m_strip(new Strip(this))
    , m_row(new QWidget)
    , m_fades(new StripFades(m_strip, this))
    , m_choose(new HeaderButton(HeaderButton::Kind::symbol, QStringLiteral("Choose files to remove"),
          QStringLiteral("checkmark.circle"), metrics, this))
    , m_selectAll(new HeaderButton(HeaderButton::Kind::text, QStringLiteral("All"), {}, metrics, this))
    , m_cancel(new HeaderButton(HeaderButton::Kind::text, QStringLiteral("Cancel"), {}, metrics, this))
    , m_delete(new HeaderButton(
          HeaderButton::Kind::destructive, QStringLiteral("Delete"), QStringLiteral("trash.fill"), metrics, this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_row->setAttribute(Qt::WA_TranslucentBackground);
    m_strip->setWidget(m_row);
    // The scroll area fills its widget's background; in the notch's translucent window that fill
    // clears the row to nothing, so the surface behind it has to show through instead.
    m_row->setAutoFillBackground(false);
    m_choose->setToolTip(QStringLiteral("Choose files to remove"));
    connect(m_strip->horizontalScrollBar(), &QScrollBar::valueChanged, m_fades, [this] { m_fades->update(); });
    connect(m_strip->horizontalScrollBar(), &QScrollBar::rangeChanged, m_fades, [this] { m_fades->update(); });

    // Each button reads the actions when pressed, so a view that adopted newer ones uses those.
    connect(m_choose, &QAbstractButton::clicked, this, [this] { call(m_actions.onBeginSelecting); });
    connect(m_selectAll, &QAbstractButton::clicked, this, [this] { call(m_actions.onSelectAll); });
    connect(m_cancel, &QAbstractButton::clicked, this, [this] { call(m_actions.onCancelSelecting); });
    connect(m_delete, &QAbstractButton::clicked, this, [this] { call(m_actions.onDeleteSelected); });

    m_fade.setDuration(150);
    m_fade.setEasingCurve(QEasingCurve::OutCubic);
    connect(&m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_outlineOpacity = value.toDouble();
        QWidget::update();
    });

    m_outlineOpacity = state.isReceiving ? 1 : 0;
    apply(state);
}

bool ShelfView::adopt(const ShelfView& fresh)
{
    if (!(fresh.m_metrics == m_metrics))
        return false;
    m_actions = fresh.m_actions;
    apply(fresh.m_state);
    return true;
}

void ShelfView::apply(const State& state)
{
    const bool receivingChanged = state.isReceiving != m_state.isReceiving;
    m_state = state;
    if (receivingChanged) {
        const double target = state.isReceiving ? 1 : 0;
        m_fade.stop();
        if (isVisible()) {
            m_fade.setStartValue(m_outlineOpacity);
            m_fade.setEndValue(target);
            m_fade.start();
        } else {
            m_outlineOpacity = target;
        }
    }
    syncTiles();
    syncHeader();
    place();
    QWidget::update();
}

ShelfTile* ShelfView::tile(const QUuid& id) const
{
    for (ShelfTile* t : m_tiles) {
        if (t->item().id == id)
            return t;
    }
    return nullptr;
}

void ShelfView::syncTiles()
{
    QList<ShelfTile*> tiles;
    tiles.reserve(m_state.items.size());
    for (const ShelfItem& item : std::as_const(m_state.items)) {
        const QPixmap image = m_thumbnails.image(item.url, m_side, 2);
        const bool selected = m_state.selection.contains(item.id);
        ShelfTile* t = tile(item.id);
        if (t) {
            m_tiles.removeOne(t);
            t->update(item, image, m_state.isSelecting, selected);
        } else {
            t = new ShelfTile(item, image, m_side, m_metrics, m_state.isSelecting, selected, m_row);
            const QUuid id = item.id;
            // Copies of the callbacks run, so a view rebuilt by one of them is not in the way.
            auto forward = [this, id](std::function<void(const QUuid&)> ShelfView::Actions::*member) {
                return [this, id, member] {
                    const auto callback = m_actions.*member;
                    if (callback)
                        callback(id);
                };
            };
            t->onToggleSelect = forward(&Actions::onToggleSelect);
            t->onRemove = forward(&Actions::onRemove);
            t->onReveal = forward(&Actions::onReveal);
            t->onVanished = forward(&Actions::onVanished);
            t->show();
        }
        tiles << t;
    }
    // Tiles of items that left go once the event that removed them is over.
    for (ShelfTile* gone : std::as_const(m_tiles)) {
        gone->hide();
        gone->deleteLater();
    }
    m_tiles = tiles;
}

void ShelfView::syncHeader()
{
    const bool hasItems = !m_state.items.isEmpty();
    const bool selecting = hasItems && m_state.isSelecting;
    m_strip->setVisible(hasItems);
    m_fades->setVisible(hasItems);
    m_choose->setVisible(hasItems && !selecting);
    m_selectAll->setVisible(selecting);
    m_cancel->setVisible(selecting);
    m_delete->setVisible(selecting);
    header(m_selectAll)->setTitle(selectAllTitle(m_state.items.size(), m_state.selection.size()));
    m_delete->setEnabled(!m_state.selection.isEmpty());
}

QRectF ShelfView::innerRect() const
{
    const double pad = m_metrics.sidePadding();
    return QRectF(pad, 0, std::max(0.0, width() - 2 * pad), std::max(0.0, height() - m_metrics.space(8)));
}

double ShelfView::headerHeight() const
{
    const QFontMetricsF title(systemFont(m_metrics.font(10), QFont::Medium));
    double tallest = std::max(title.height(), m_choose->height() * 1.0);
    if (m_state.isSelecting)
        tallest = std::max({ tallest, m_delete->height() * 1.0, m_cancel->height() * 1.0 });
    return std::ceil(tallest);
}

void ShelfView::place()
{
    const QRectF inner = innerRect();
    const double row = headerHeight();
    const double gap = m_metrics.space(8);
    auto centred = [&](QAbstractButton* button, double right) {
        button->move(
            int(std::round(right - button->width())), int(std::round(inner.top() + (row - button->height()) / 2)));
        return right - button->width() - gap;
    };
    double right = inner.right();
    if (m_state.isSelecting) {
        right = centred(m_delete, right);
        right = centred(m_cancel, right);
        centred(m_selectAll, right);
    } else {
        centred(m_choose, right);
    }

    const double top = inner.top() + row + m_metrics.space(5);
    const QSizeF smallest = ShelfTile::tileSize(m_side, m_metrics);
    // When the tiles are taller than what the bottom padding leaves, their names reach into it
    // rather than being cut.
    const double bottom = std::min<double>(height(), std::max(inner.bottom(), top + smallest.height()));
    const TileRow tiles = tileRow(inner.width(), smallest.width(), m_metrics.space(9));
    const QRect stripRect = QRectF(inner.left() + tiles.inset, top, tiles.shown * tiles.pitch - tiles.spacing,
        std::max(0.0, bottom - top))
                                .toAlignedRect();
    m_strip->setGeometry(stripRect);
    m_fades->setGeometry(stripRect);
    // Across the end tile's margin and into a third of its picture.
    static_cast<StripFades*>(m_fades)->setFadeWidth((tiles.width - m_side) / 2 + m_side / 3);
    m_fades->raise();
    const qsizetype n = m_tiles.size();
    m_row->resize(int(std::max<qsizetype>(0, n * tiles.pitch - tiles.spacing)), stripRect.height());
    static_cast<Strip*>(m_strip)->setPitch(tiles.pitch);
    // Vertically centred; a strip lower than a tile keeps the pictures whole and cuts the names.
    const double y = std::max(0.0, (stripRect.height() - smallest.height()) / 2);
    const bool namesFit = stripRect.height() >= std::floor(smallest.height());
    for (qsizetype i = 0; i < n; ++i) {
        m_tiles[i]->setTileWidth(tiles.width);
        m_tiles[i]->move(int(i * tiles.pitch), int(std::round(y)));
        m_tiles[i]->setShowsName(namesFit);
    }
}

ShelfView::TileRow ShelfView::tileRow(double room, double smallest, double spacing)
{
    // As many whole tiles as the room holds, widened to fill it; the pixels left over (fewer
    // than there are tiles) go to both sides.
    TileRow row;
    row.spacing = int(std::lround(spacing));
    const int width = std::max(1, int(std::ceil(smallest)));
    row.shown = std::max(1, int(std::floor((room + row.spacing) / (width + row.spacing))));
    row.width = std::max(width, int(std::floor((room - (row.shown - 1) * row.spacing) / row.shown)));
    row.pitch = row.width + row.spacing;
    row.inset = std::max(0.0, std::floor((room - (row.shown * row.pitch - row.spacing)) / 2));
    return row;
}

int ShelfView::tilePitch() const
{
    return static_cast<const Strip*>(m_strip)->pitch();
}

void ShelfView::resizeEvent(QResizeEvent*)
{
    place();
}

void ShelfView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintOutline(p);
    if (m_state.items.isEmpty())
        paintEmpty(p, innerRect());
    else
        paintTitle(p);
}

void ShelfView::paintOutline(QPainter& p) const
{
    if (m_outlineOpacity <= 0)
        return;
    const NotchTheme theme = notchTheme(this);
    const double width = 2;
    const QRectF frame = QRectF(rect()).adjusted(m_metrics.space(6), 0, -m_metrics.space(6), -m_metrics.space(4));
    QColor colour = theme.accent();
    colour.setAlphaF(float(0.9 * m_outlineOpacity));
    QPen pen(colour, width, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    // Dashes are counted in line widths: 5 points on, 4 off.
    pen.setDashPattern({ 5 / width, 4 / width });
    pen.setMiterLimit(10);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const double radius = m_metrics.size(10);
    // Stroked inside its bounds.
    p.drawRoundedRect(frame.adjusted(width / 2, width / 2, -width / 2, -width / 2), radius, radius);
}

void ShelfView::paintEmpty(QPainter& p, const QRectF& area) const
{
    const NotchTheme theme = notchTheme(this);
    const SurfaceMetrics& m = m_metrics;
    const bool receiving = m_state.isReceiving;
    const double glyph = symbols::side(m.font(20));
    const QFont titleFont = systemFont(m.font(11), receiving ? QFont::DemiBold : QFont::Normal);
    const QString title
        = receiving ? QStringLiteral("Drop to keep them here") : QStringLiteral("Drag files onto the notch");
    const bool caption = !receiving && m.detail() != SurfaceMetrics::Detail::minimal;
    const QFont captionFont = systemFont(m.font(9));
    const QString captionText = QStringLiteral("Then drag them out wherever you need them");

    const FittedText titleLine = fitText(title, titleFont, area.width(), 1.0);
    const FittedText captionLine = fitText(captionText, captionFont, area.width(), 1.0);
    const double gap = m.space(5);
    double stack = glyph + gap + titleLine.height();
    if (caption)
        stack += gap + captionLine.height();
    double y = area.top() + (area.height() - stack) / 2;

    symbols::draw(p, receiving ? QStringLiteral("tray.and.arrow.down.fill") : QStringLiteral("tray"),
        QRectF(area.left(), y, area.width(), glyph), m.font(20), receiving ? theme.accent() : theme.secondaryText(0.35),
        QFont::Light);
    y += glyph + gap;
    drawFitted(p, titleLine, QPointF(area.center().x() - titleLine.width / 2, y),
        receiving ? theme.primaryText() : theme.secondaryText(0.45));
    y += titleLine.height() + gap;
    if (caption)
        drawFitted(p, captionLine, QPointF(area.center().x() - captionLine.width / 2, y), theme.secondaryText(0.3));
}

void ShelfView::paintTitle(QPainter& p) const
{
    const NotchTheme theme = notchTheme(this);
    const QRectF inner = innerRect();
    const bool selecting = m_state.isSelecting;
    const QString title = selecting ? selectionTitle(m_state.selection.size()) : countTitle(m_state.items.size());
    // The title takes what the buttons leave.
    const QAbstractButton* leftmost = selecting ? m_selectAll : m_choose;
    const double room = std::max(0.0, leftmost->x() - m_metrics.space(8) - inner.left());
    const FittedText line = fitText(title, systemFont(m_metrics.font(10), QFont::Medium), room, 1.0);
    const double row = headerHeight();
    drawFitted(p, line, QPointF(inner.left(), inner.top() + (row - line.height()) / 2),
        theme.secondaryText(selecting ? 0.6 : 0.5));
}

} // namespace nimbra
