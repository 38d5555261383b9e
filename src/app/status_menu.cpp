#include "app/app_delegate.h"

#include "app/display_coordinator.h"
#include "core/nimbra_settings.h"
#include "modules/eyes/eye_tracker.h"
#include "modules/eyes/eyes_status_item.h"
#include "modules/power/power_monitor.h"
#include "ui/surface/symbols.h"
#include "ui/tray/tray_item.h"

#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QScreen>

namespace nimbra {

namespace {

QIcon plainMark()
{
    QIcon icon;
    const QColor tint = QApplication::palette().color(QPalette::WindowText);
    for (const int side : { 16, 22, 24, 32, 48 }) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        symbols::draw(
            painter, QStringLiteral("rectangle.topthird.inset.filled"), QRectF(0, 0, side, side), side / 1.15, tint);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

void AppDelegate::installStatusItem()
{
    if (!m_statusItem) {
        m_statusItem = std::make_unique<TrayItem>();
        m_statusItem->setIcon(plainMark());
        m_menu = makeMenu();
        m_statusItem->setMenu(m_menu.get());
        m_statusItem->show();
    }
    syncStatusItems();
}

void AppDelegate::syncStatusItems()
{
    // A fresh menu for whichever item takes it; the old one goes once nothing shows it.
    std::unique_ptr<QMenu> previous = std::move(m_menu);
    m_menu = makeMenu();
    if (m_settings.eyesEnabled()) {
        m_eyesItem->setMenu(m_menu.get());
        m_statusItem.reset();
    } else {
        m_eyesItem->setMenu(nullptr);
        if (!m_statusItem) {
            m_statusItem = std::make_unique<TrayItem>();
            m_statusItem->setIcon(plainMark());
            m_statusItem->show();
        }
        m_statusItem->setMenu(m_menu.get());
    }
    if (previous)
        previous.release()->deleteLater();
}

std::unique_ptr<QMenu> AppDelegate::makeMenu()
{
    auto menu = std::make_unique<QMenu>();
    QPointer<AppDelegate> self(this);
    QAction* settings = menu->addAction(QStringLiteral("Settings…"), [self] {
        if (self)
            self->showSettings();
    });
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    QAction* preview = menu->addAction(QStringLiteral("Preview Battery Readout"), [self] {
        if (self)
            self->previewActivity();
    });
    QAction* updates = menu->addAction(QStringLiteral("Check for Updates…"), [self] {
        if (self)
            self->checkForUpdates();
    });
    // A build without a feed says so under the entry it disables: tray hosts show no tooltips.
    QAction* noFeed = menu->addAction(updatesUnavailable());
    noFeed->setEnabled(false);
    menu->addSeparator();
    QAction* quit = menu->addAction(QStringLiteral("Quit Nimbra"), qApp, &QCoreApplication::quit);
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    // A machine without a battery has nothing to preview.
    const auto sync = [self, preview, updates, noFeed] {
        preview->setEnabled(self && self->m_power->snapshot().has_value());
        const QString unavailable = self ? self->updatesUnavailable() : QString();
        updates->setEnabled(self && unavailable.isEmpty());
        updates->setToolTip(unavailable);
        noFeed->setText(unavailable);
        noFeed->setVisible(!unavailable.isEmpty());
    };
    QObject::connect(menu.get(), &QMenu::aboutToShow, preview, sync);
    sync();
    return menu;
}

void AppDelegate::applyEyeSettings()
{
    if (!m_settings.eyesEnabled()) {
        m_eyes->stop();
        m_eyesItem->hide();
        syncStatusItems();
        return;
    }
    const EyeStyle& style = m_settings.eyeStyle();
    m_eyesItem->show(style);
    syncStatusItems();
    m_eyes->apply(style);
    if (const auto centres = m_eyesItem->eyeCentres()) {
        m_eyes->eyeCentres = *centres;
        m_eyes->travel = m_eyesItem->travel();
    }
    m_eyes->start();
}

void AppDelegate::refreshEyes()
{
    if (!m_settings.eyesEnabled())
        return;
    // Only awake eyes look at the pointer; the item's place is asked of the server now and then,
    // which drowsy eyes, looking about on their own, need not pay for.
    const auto centres
        = m_eyes->stage() == EyeWakefulness::Stage::awake ? m_eyesItem->eyeCentres() : std::nullopt;
    if (centres) {
        m_eyes->eyeCentres = *centres;
        m_eyes->travel = m_eyesItem->travel();
    }
    m_eyesItem->update(
        m_eyes->leftPupil(), m_eyes->rightPupil(), m_eyes->lidLeft(), m_eyes->lidRight(), m_eyes->isTired());
}

void AppDelegate::previewActivity()
{
    m_power->refresh();
    const std::optional<PowerSnapshot>& snapshot = m_power->snapshot();
    if (!snapshot || !m_coordinator)
        return;
    m_coordinator->present(m_router.previewBattery(*snapshot));
}

} // namespace nimbra
