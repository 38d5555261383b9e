#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/clamped.h"
#include "core/diagnostics.h"
#include "core/file_url.h"
#include "core/nimbra_settings.h"
#include "modules/shelf/shelf_view.h"
#include "modules/shelf/shelf_watch.h"
#include "platform/file_manager/file_manager.h"
#include "platform/thumbnails/file_thumbnails.h"
#include "platform/x11/screens.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSet>

namespace nimbra {

void AppDelegate::setUpShelf()
{
    m_shelf.restore(m_settings.storedShelfPaths());
    m_shelfWatch->watch(m_shelf.storedPaths());
    QPointer<AppDelegate> self(this);
    FileThumbnails::shared().onUpdate = [self] {
        if (self && self->m_coordinator)
            self->m_coordinator->refreshContent();
    };
    m_shelfWatch->onChange = [self](const QStringList& paths) {
        if (self)
            self->shelfFilesChanged(paths);
    };
    m_coordinator->setOnDropFiles([self](const QList<QUrl>& urls) { return self && self->handleDropFiles(urls); });
    m_coordinator->setOnDragHover([self](bool hovering) {
        if (self)
            self->handleDragHover(hovering);
    });
}

double AppDelegate::shelfTileSide() const
{
    const QScreen* screen = nimbraMainDisplay();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const double notchHeight = screen ? nimbraGeometry(screen).anchorRect().height() : 32;
    return clamped((m_settings.layout().expandedHeight - notchHeight) * 0.52, 40.0, 96.0);
}

bool AppDelegate::handleDropFiles(const QList<QUrl>& urls)
{
    if (!m_settings.shelfEnabled() || !m_coordinator)
        return false;
    const QList<QUrl> landing = landingFiles(urls, m_shelf.limit());
    Diagnostics::log(Diagnostics::Category::shelf, [&] {
        return QStringLiteral("dropped %1, %2 can land").arg(urls.size()).arg(landing.size());
    });
    if (landing.isEmpty())
        return false;
    leaveShelfSelection();

    const QList<ShelfItem> before = m_shelf.items();
    m_shelf.add(landing);
    settleShelf(before);
    // Thumbnails only for the dropped files that stayed.
    const QSet<QUrl> dropped(landing.cbegin(), landing.cend());
    QList<QUrl> stayed;
    for (const ShelfItem& item : m_shelf.items()) {
        if (dropped.contains(item.url))
            stayed << item.url;
    }
    FileThumbnails::shared().prewarm(stayed, shelfTileSide(), 2);

    m_tab = NotchSurfaceTab::shelf;
    m_coordinator->refreshContent();
    QPointer<AppDelegate> self(this);
    QTimer::singleShot(0, this, [self] {
        if (self && self->m_coordinator)
            self->m_coordinator->handBackToHover();
    });
    return !stayed.isEmpty();
}

QList<QUrl> AppDelegate::landingFiles(const QList<QUrl>& urls, qsizetype room)
{
    // From the newest (the last given) back, until the shelf's room is filled: what lies
    // beyond would be trimmed at once, so it is not even looked at.
    QList<QUrl> landing;
    QSet<QUrl> seen;
    for (auto url = urls.crbegin(); url != urls.crend() && seen.size() < room; ++url) {
        if (!url->isLocalFile() || !hasReachablePath(*url))
            continue;
        const QUrl standardized = standardizedFileUrl(*url);
        if (seen.contains(standardized))
            continue;
        if (!QFileInfo::exists(localPath(standardized)))
            continue;
        seen.insert(standardized);
        landing.prepend(standardized);
    }
    return landing;
}
void AppDelegate::handleDragHover(bool hovering)
{
    if (!m_settings.shelfEnabled() || !m_coordinator)
        return;
    m_isReceivingDrop = hovering;
    m_coordinator->setReceivingDrag(hovering);
    if (hovering) {
        m_tab = NotchSurfaceTab::shelf;
        m_coordinator->setWantsKeyboard(false);
        m_coordinator->open(Shelf::moduleID, false);
    } else {
        m_coordinator->handBackToHover();
    }
    m_coordinator->refreshContent();
}

void AppDelegate::settleShelf(const QList<ShelfItem>& before)
{
    m_shelf.pruneMissing();
    // Items that left (trimmed, gone from disk, removed) take their thumbnails and failures
    // along.
    QSet<QUrl> kept;
    for (const ShelfItem& item : m_shelf.items())
        kept.insert(item.url);
    QStringList paths;
    FileThumbnails& thumbnails = FileThumbnails::shared();
    for (const ShelfItem& item : before) {
        paths << item.path();
        if (!kept.contains(item.url))
            thumbnails.forget(item.url);
    }
    // The settings file is written only when the paths changed, not each time a shelved
    // folder's contents do.
    const QStringList now = m_shelf.storedPaths();
    if (now != paths)
        m_settings.storeShelf(now);
    m_shelfWatch->watch(now);
}

void AppDelegate::shelfFilesChanged(const QStringList& paths)
{
    const QList<ShelfItem> before = m_shelf.items();
    for (const QString& path : paths) {
        const QFileInfo info(path);
        // A changed file is drawn again; a folder whose contents changed looks the same.
        if (info.exists() && !info.isDir())
            FileThumbnails::shared().forget(QUrl::fromLocalFile(path));
    }
    settleShelf(before);
    if (m_shelf.items().size() != before.size()) {
        m_shelfSelection.removeIf([&](const QUuid& id) {
            return std::none_of(
                m_shelf.items().cbegin(), m_shelf.items().cend(), [&](const ShelfItem& item) { return item.id == id; });
        });
        Diagnostics::log(Diagnostics::Category::shelf, [&] {
            return QStringLiteral("%1 gone from disk, taken off the shelf").arg(before.size() - m_shelf.items().size());
        });
    }
    if (m_coordinator)
        m_coordinator->refreshContent();
}

void AppDelegate::leaveShelfSelection()
{
    m_isShelfSelecting = false;
    m_shelfSelection.clear();
}

void AppDelegate::removeFromShelf(const QUuid& id)
{
    const QList<ShelfItem> before = m_shelf.items();
    m_shelf.remove(id);
    m_shelfSelection.remove(id);
    settleShelf(before);
    m_coordinator->refreshContent();
}

void AppDelegate::deleteSelectedFromShelf()
{
    if (m_shelfSelection.isEmpty())
        return;
    const QList<ShelfItem> before = m_shelf.items();
    for (const QUuid& id : std::as_const(m_shelfSelection))
        m_shelf.remove(id);
    Diagnostics::log(Diagnostics::Category::shelf,
        [&] { return QStringLiteral("removed %1 from the shelf").arg(m_shelfSelection.size()); });
    settleShelf(before);
    leaveShelfSelection();
    m_coordinator->refreshContent();
}

QWidget* AppDelegate::shelfView(const SurfaceMetrics& metrics)
{
    QPointer<AppDelegate> self(this);
    // Every action runs on a living delegate and ends in a redraw of the surfaces.
    auto act = [self](auto&& body) {
        return [self, body](auto&&... arguments) {
            if (!self || !self->m_coordinator)
                return;
            body(*self, arguments...);
        };
    };
    ShelfView::Actions actions;
    actions.onToggleSelect = act([](AppDelegate& d, const QUuid& id) {
        if (!d.m_shelfSelection.remove(id))
            d.m_shelfSelection.insert(id);
        d.m_coordinator->refreshContent();
    });
    actions.onBeginSelecting = act([](AppDelegate& d) {
        d.m_isShelfSelecting = true;
        d.m_shelfSelection.clear();
        d.m_coordinator->refreshContent();
    });
    actions.onCancelSelecting = act([](AppDelegate& d) {
        d.leaveShelfSelection();
        d.m_coordinator->refreshContent();
    });
    actions.onSelectAll = act([](AppDelegate& d) {
        if (d.m_shelfSelection.size() != d.m_shelf.items().size()) {
            for (const ShelfItem& item : d.m_shelf.items())
                d.m_shelfSelection.insert(item.id);
        } else {
            d.m_shelfSelection.clear();
        }
        d.m_coordinator->refreshContent();
    });
    actions.onDeleteSelected = act([](AppDelegate& d) { d.deleteSelectedFromShelf(); });
    actions.onRemove = act([](AppDelegate& d, const QUuid& id) { d.removeFromShelf(id); });
    actions.onReveal = act([](AppDelegate& d, const QUuid& id) {
        for (const ShelfItem& item : d.m_shelf.items()) {
            if (item.id == id) {
                d.m_fileManager->showItems({ item.url });
                return;
            }
        }
    });
    // Its file went away without the watch noticing yet (a network folder): let it go now.
    actions.onVanished = act([](AppDelegate& d, const QUuid& id) { d.removeFromShelf(id); });

    return new ShelfView({ m_shelf.items(), m_isReceivingDrop, FileThumbnails::shared().revision(), m_isShelfSelecting,
                             m_shelfSelection },
        metrics, std::move(actions));
}

} // namespace nimbra
