#pragma once

#include "core/activity.h"
#include "core/shelf_store.h"
#include "ui/surface/surface_metrics.h"

#include <QAbstractButton>
#include <QList>
#include <QScrollArea>
#include <QSet>
#include <QUuid>
#include <QVariantAnimation>
#include <QWidget>
#include <functional>

namespace nimbra {

class FileThumbnails;
class ShelfTile;

// The shelf: files dropped on the notch wait here until they are dragged out again.
struct Shelf {
    static inline const ModuleID moduleID { QStringLiteral("shelf") };
};

// The shelf tab. Empty, it invites a drop; otherwise a header with the file count and a
// selection mode for removing files sits above a strip of tiles, newest first, that scrolls
// sideways. While a file drag hovers the notch, a dashed outline fades in around it all.
//
// The view owns no shelf state: the shell builds it from its own and carries out every action
// through the callbacks.
class ShelfView : public QWidget {
    Q_OBJECT
public:
    struct State {
        QList<ShelfItem> items {};
        // A file drag hovers the notch.
        bool isReceiving = false;
        // The thumbnail cache's revision: a new value brings the tiles their new pictures.
        int thumbnailRevision = 0;
        bool isSelecting = false;
        QSet<QUuid> selection {};
    };
    struct Actions {
        std::function<void(const QUuid&)> onToggleSelect;
        std::function<void()> onBeginSelecting;
        std::function<void()> onCancelSelecting;
        std::function<void()> onSelectAll;
        std::function<void()> onDeleteSelected;
        std::function<void(const QUuid&)> onRemove;
        std::function<void(const QUuid&)> onReveal;
        // A tile's file was gone when the user began to drag it out.
        std::function<void(const QUuid&)> onVanished;
    };

    ShelfView(const State& state, const SurfaceMetrics& metrics, Actions actions, FileThumbnails& thumbnails,
        QWidget* parent = nullptr);
    ShelfView(const State& state, const SurfaceMetrics& metrics, Actions actions, QWidget* parent = nullptr);

    // Takes the state and actions of a view built for the same surface, keeping what lives in
    // this one: tiles of items still there (and the pointer's hover on them), the scroll
    // position and a running fade of the outline.
    bool adopt(const ShelfView& fresh);

    const State& state() const { return m_state; }
    const SurfaceMetrics& metrics() const { return m_metrics; }

    // The picture side of every tile: 52 % of the content height, 40 to 96 points.
    static double tileSide(const SurfaceMetrics& metrics);
    // "1 file", "3 files".
    static QString countTitle(qsizetype count);
    // "Select files" with nothing selected, else "2 selected".
    static QString selectionTitle(qsizetype selected);
    // "None" when every item is selected, else "All".
    static QString selectAllTitle(qsizetype items, qsizetype selected);

    // How the strip's tiles are laid out in a width: `shown` whole tiles of `width` pixels with
    // `spacing` between them, `inset` from the left; scrolling moves by whole `pitch`es.
    struct TileRow {
        int shown = 1;
        int width = 0;
        int spacing = 0;
        int pitch = 0;
        double inset = 0;
    };
    static TileRow tileRow(double room, double smallestTile, double spacing);
    // The distance from one tile to the next in the strip.
    int tilePitch() const;

    QList<ShelfTile*> tiles() const { return m_tiles; }
    ShelfTile* tile(const QUuid& id) const;
    QScrollArea* strip() const { return m_strip; }
    QAbstractButton* chooseButton() const { return m_choose; }
    QAbstractButton* selectAllButton() const { return m_selectAll; }
    QAbstractButton* cancelButton() const { return m_cancel; }
    QAbstractButton* deleteButton() const { return m_delete; }
    double outlineOpacity() const { return m_outlineOpacity; }
    bool isOutlineFading() const { return m_fade.state() == QAbstractAnimation::Running; }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void apply(const State& state);
    void syncTiles();
    void syncHeader();
    void place();
    QRectF innerRect() const;
    double headerHeight() const;
    void paintEmpty(QPainter& p, const QRectF& area) const;
    void paintOutline(QPainter& p) const;
    void paintTitle(QPainter& p) const;
    template <typename F> void call(const F& callback) const
    {
        if (callback)
            callback();
    }

    State m_state;
    SurfaceMetrics m_metrics;
    Actions m_actions;
    FileThumbnails& m_thumbnails;
    double m_side;
    QList<ShelfTile*> m_tiles;
    QScrollArea* m_strip;
    QWidget* m_row;
    QWidget* m_fades;
    QAbstractButton* m_choose;
    QAbstractButton* m_selectAll;
    QAbstractButton* m_cancel;
    QAbstractButton* m_delete;
    double m_outlineOpacity = 0;
    QVariantAnimation m_fade;
};

} // namespace nimbra
