#pragma once

// A settings view on its own store, the way the window controller builds it, for the offscreen
// tests of the settings pages.
#include "core/nimbra_settings.h"
#include "core/settings_storage.h"
#include "support/test_support.h"
#include "ui/settings/settings_style.h"
#include "ui/settings/settings_view.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <algorithm>
#include <cmath>
#include <map>
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

// The contrast ratio of two colours as the web's accessibility guidelines define it (1 to 21).
inline double contrastRatio(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What a person sees of a text in `image` (a render of `root` at `dpr`): the contrast between
// the strongest ink inside `area` (in `root`'s coordinates) and the colour most of it shows,
// its background.
inline double renderedContrast(const QImage& image, double dpr, const QRect& area)
{
    const QRect box = QRect((area.topLeft() * dpr), (area.size() * dpr)).intersected(image.rect());
    std::map<QRgb, int> counts;
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x)
            ++counts[image.pixel(x, y)];
    }
    if (counts.empty())
        return 1;
    const QColor background = QColor::fromRgb(
        std::max_element(counts.begin(), counts.end(), [](auto& a, auto& b) { return a.second < b.second; })->first);
    double best = 1;
    for (const auto& [pixel, n] : counts)
        best = std::max(best, contrastRatio(QColor::fromRgb(pixel), background));
    return best;
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

    // The current page whole, as the scroll area holds it, top to bottom, at `dpr`.
    QImage renderPage(double dpr = 2) const
    {
        QWidget* sheet = view->currentScrollArea()->widget();
        sheet->resize(sheet->width(), std::max(sheet->height(), sheet->sizeHint().height()));
        QImage image(sheet->size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        sheet->render(&image);
        return image;
    }

    // Every text of the current page (labels, buttons, pop-ups) with the contrast it is drawn
    // at, in `page`, a render of it by renderPage().
    std::vector<std::pair<QString, double>> textContrasts(const QImage& page, double dpr = 2) const
    {
        QWidget* sheet = view->currentScrollArea()->widget();
        std::vector<std::pair<QString, double>> texts;
        const auto add = [&](QWidget* w, const QString& text) {
            if (text.trimmed().isEmpty() || !w->isVisibleTo(sheet))
                return;
            texts.emplace_back(text, renderedContrast(page, dpr, QRect(w->mapTo(sheet, QPoint()), w->size())));
        };
        for (QLabel* l : sheet->findChildren<QLabel*>())
            add(l, l->text());
        for (QAbstractButton* b : sheet->findChildren<QAbstractButton*>())
            add(b, b->text());
        for (QComboBox* c : sheet->findChildren<QComboBox*>())
            add(c, c->currentText());
        return texts;
    }

    // The contrast the current page draws `text` at (the first text that reads so).
    double contrastOf(const QString& text) const
    {
        for (const auto& [shown, contrast] : textContrasts(renderPage()))
            if (shown == text)
                return contrast;
        return 0;
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
