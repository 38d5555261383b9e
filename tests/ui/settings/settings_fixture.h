#pragma once

// A settings view on its own store, the way the window controller builds it, for the offscreen
// tests of the settings pages.
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "support/test_support.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <memory>

namespace nimbra::test {

// A laptop-sized screen with a 24 px top bar and no camera housing: a synthesized notch.
inline NotchGeometry laptopGeometry()
{
    DisplayMetrics metrics;
    metrics.frame = QRectF(0, 0, 1512, 982);
    metrics.visibleFrame = QRectF(0, 0, 1512, 958);
    return NotchGeometry(metrics);
}

struct SettingsFixture {
    SettingsFixture() = default;
    // A store read from `stored`, as from a settings file.
    explicit SettingsFixture(QJsonObject stored)
        : storage(std::make_shared<MemorySettingsStorage>(std::move(stored)))
    {
    }

    std::shared_ptr<MemorySettingsStorage> storage = std::make_shared<MemorySettingsStorage>();
    NimbraSettings settings { storage };
    std::unique_ptr<SettingsView> view;
    QList<bool> loginRequests;

    SettingsView::Inputs inputs()
    {
        SettingsView::Inputs in;
        in.displaySummary = QStringLiteral("pill 120×24px");
        in.onLaunchAtLoginChange = [this](bool on) { loginRequests << on; };
        in.liveGeometry = laptopGeometry();
        in.levels = LiveLevels { SystemLevel(SystemLevel::Kind::volume, 0.5, false, true, std::nullopt), std::nullopt };
        return in;
    }

    // Builds the view at the window's size in the given appearance and shows it.
    SettingsView& make(bool dark = false, std::optional<SettingsView::Inputs> custom = std::nullopt)
    {
        view = std::make_unique<SettingsView>(settings, custom ? *custom : inputs());
        view->setPalette(settings_style::palette(dark));
        view->setSystemIsDark(dark);
        view->resize(760, 540);
        settings_style::adoptStyle(view.get());
        view->show();
        QApplication::processEvents();
        return *view;
    }

    SettingsView& open(SettingsSection section, bool dark = false)
    {
        SettingsView& v = view ? *view : make(dark);
        v.select(section);
        QApplication::processEvents();
        return v;
    }

    QImage render(double dpr = 1) const
    {
        QImage image(view->size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        view->render(&image);
        return image;
    }

    // The texts of the labels the current page shows.
    QStringList shownTexts() const
    {
        QStringList texts;
        for (const QLabel* l : view->currentScrollArea()->findChildren<QLabel*>()) {
            if (l->isVisibleTo(view.get()))
                texts << l->text();
        }
        return texts;
    }

    // A push button of the current page found by its title.
    QPushButton* button(const QString& title) const
    {
        for (QPushButton* b : view->currentScrollArea()->findChildren<QPushButton*>()) {
            if (b->text() == title)
                return b;
        }
        return nullptr;
    }

    // A widget of the current page found by its accessible name.
    template <typename W> W* find(const QString& name) const
    {
        for (W* w : view->findChildren<W*>()) {
            if (w->accessibleName() == name && w->isVisible())
                return w;
        }
        return nullptr;
    }
};

} // namespace nimbra::test
