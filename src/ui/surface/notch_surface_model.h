#pragma once

#include "core/notch_geometry.h"
#include "core/presentation.h"
#include "ui/surface/notch_shape.h"
#include "ui/surface/notch_theme.h"
#include "ui/surface/surface_metrics.h"

#include <QObject>
#include <QSizeF>
#include <cstdint>
#include <functional>

class QWidget;

namespace nimbra {

// The observable model of one display's notch surface. The display controller is its only
// writer; the surface view draws from it. Every setter notifies only on a real change.
class NotchSurfaceModel : public QObject {
    Q_OBJECT
public:
    // The shell's builder of a surface's content: a new widget (the view takes ownership), or
    // nullptr for none. Called on every rebuild; never cached.
    using Content = std::function<QWidget*(const Presentation::Surface&, const SurfaceContext&)>;

    NotchSurfaceModel(const NotchGeometry& geometry, Content content, QObject* parent = nullptr);

    const NotchGeometry& geometry() const { return m_geometry; }
    void setGeometry(const NotchGeometry& geometry);
    const LayoutMetrics& layout() const { return m_layout; }
    void setLayout(const LayoutMetrics& layout);
    const NotchTheme& theme() const { return m_theme; }
    void setTheme(const NotchTheme& theme);
    const Presentation::Surface& surface() const { return m_surface; }
    void setSurface(const Presentation::Surface& surface);
    std::uint64_t contentRevision() const { return m_contentRevision; }
    void incrementContentRevision();
    const Content& content() const { return m_content; }

    bool isExpanded() const { return m_surface.is(Presentation::Surface::Kind::expanded); }
    bool isHidden() const { return m_surface.is(Presentation::Surface::Kind::dormant); }
    NotchShape shape() const;
    // The surface's body: the part under and around the notch, without the top flares.
    QSizeF bodySize() const { return bodySize(m_surface); }
    QSizeF bodySize(const Presentation::Surface& surface) const;
    // The drawn outline including its flares.
    QSizeF outerSize() const;
    // What the content builder is handed for the current surface, or for another one.
    SurfaceContext context() const { return context(m_surface); }
    SurfaceContext context(const Presentation::Surface& surface) const;

Q_SIGNALS:
    void geometryChanged();
    void layoutChanged();
    void themeChanged();
    void surfaceChanged();
    void contentRevisionChanged();

private:
    NotchGeometry m_geometry;
    LayoutMetrics m_layout;
    NotchTheme m_theme;
    Presentation::Surface m_surface = Presentation::Surface::dormant();
    std::uint64_t m_contentRevision = 0;
    Content m_content;
};

} // namespace nimbra
