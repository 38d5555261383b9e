#pragma once

#include "core/shelf_store.h"
#include "ui/surface/surface_metrics.h"

#include <QAbstractButton>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>

class QFontMetricsF;
class QMimeData;

namespace nimbra {

// Dragging a shelf item out as the file itself: the file's URL for file managers and every
// application that takes files, in the form GNOME's file managers read too. Copying is the
// default, so the file stays where it is and on the shelf.
namespace shelf_drag {

QMimeData* mimeData(const QUrl& file);
// The object every shelf drag starts from. It outlives the views, which are rebuilt whenever
// the surface changes, also while a drag runs; a drop target in this application sees it as
// the drag's source and so knows the drag started here.
QObject* source();
// Starts the drag on the next turn of the event loop, from `source()`, with `image` (fitted
// into `side` points at `pixelRatio`) under the pointer.
void start(const QUrl& file, const QPixmap& image, double side, double pixelRatio);

} // namespace shelf_drag

// One file on the shelf: its picture with the remove control or selection mark in the top
// trailing corner, and its name below on one line, shortened at its end with the extension kept.
class ShelfTile : public QWidget {
    Q_OBJECT
public:
    ShelfTile(const ShelfItem& item, const QPixmap& image, double side, const SurfaceMetrics& metrics, bool isSelecting,
        bool isSelected, QWidget* parent = nullptr);

    // Takes a newer state of the same item (the tile stays, and with it the pointer's hover).
    void update(const ShelfItem& item, const QPixmap& image, bool isSelecting, bool isSelected);

    const ShelfItem& item() const { return m_item; }
    const QPixmap& image() const { return m_image; }
    bool isSelecting() const { return m_isSelecting; }
    bool isSelected() const { return m_isSelected; }
    bool isHovering() const { return m_hovering; }
    QAbstractButton* removeButton() const { return m_remove; }
    // Where the picture sits in the tile.
    QRectF pictureRect() const;
    // The name as shown: on one line, cut to the tile's width.
    QString shownName() const;
    // The view gives every tile of its strip one width, at least tileSize().width().
    void setTileWidth(int width);
    // Whether the name is drawn: a strip too low for whole names shows none rather than halves.
    void setShowsName(bool shows);
    bool showsName() const { return m_showsName; }

    // The tile's smallest size for a picture side.
    static QSizeF tileSize(double side, const SurfaceMetrics& metrics);
    // A file name on one line: each line break becomes a visible mark (⏎).
    static QString oneLine(const QString& name);
    // `name` fitted into `width`: shortened at the end of its stem with the extension kept
    // ("a very long holid….jpg"), or at its end when not even the extension fits.
    static QString shortened(const QString& name, const QFontMetricsF& font, double width);

    std::function<void()> onToggleSelect;
    std::function<void()> onRemove;
    std::function<void()> onReveal;
    // Asked to drag out a file that is no longer there.
    std::function<void()> onVanished;

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void setHovering(bool hovering);
    void placeRemoveButton();
    void syncRemoveButton();
    void beginDrag();

    ShelfItem m_item;
    QPixmap m_image;
    double m_side;
    SurfaceMetrics m_metrics;
    bool m_isSelecting;
    bool m_isSelected;
    bool m_hovering = false;
    bool m_showsName = true;
    QAbstractButton* m_remove;
    // The press that may become a click or a drag.
    std::optional<QPointF> m_pressedAt;
    bool m_pressIsDoubleClick = false;
};

} // namespace nimbra
