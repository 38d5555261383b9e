#pragma once

#include <QIcon>
#include <QImage>
#include <QMenu>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <memory>
#include <optional>

class QSystemTrayIcon;

namespace nimbra {

namespace x11 {
class WindowPicture;
}

// One item in the desktop's tray (a StatusNotifierItem where the desktop hosts them, an
// XEmbed icon on a classic tray): tooltip "Nimbra", Nimbra's menu as its context menu, and a
// left click that opens the same menu.
class TrayItem final : public QObject {
    Q_OBJECT
public:
    explicit TrayItem(QObject* parent = nullptr);
    ~TrayItem() override;

    // Shows the item. Without any tray host there is no item to show: this is logged once
    // per run, and Nimbra stays reachable through the notch's settings tab.
    void show();
    void setIcon(const QIcon& icon);
    // Shows one picture (device pixels) as the icon, for an icon that changes many times a
    // second. Docked in a classic tray, the picture goes straight onto the icon's window, and
    // Qt's icon takes the last picture only when Qt paints that window again (it was exposed):
    // a moving icon costs no timer and no repaint through Qt. Elsewhere each picture becomes
    // the icon.
    void setPicture(const QImage& picture);
    // Whether Qt's icon is behind the picture shown (it takes it at its next paint).
    bool isIconBehindPicture() const { return m_iconBehind; }
    // Not owned; the menu must outlive its use here or be cleared first.
    void setMenu(QMenu* menu);
    QMenu* menu() const { return m_menu; }
    QSystemTrayIcon& icon() const { return *m_icon; }

    // Where the item sits, in Qt's screen coordinates: where the tray docked it, else a square of `fallbackSide` around
    // the last click on the item, else one in the primary screen's top-right corner.
    QRectF screenRect(double fallbackSide) const;
    // The side of the square the tray gives the icon, when it says.
    std::optional<int> iconSide() const;

    static bool isTrayAvailable();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void activated(int reason);
    // The window Qt docks into a classic tray for this item, once it exists.
    QWidget* trayWindow() const;

    std::unique_ptr<QSystemTrayIcon> m_icon;
    QPointer<QMenu> m_menu;
    std::optional<QPointF> m_lastClickAt;
    mutable QPointer<QWidget> m_trayWindow;
    // The docked window's place as the server last told it, and when: asked again at most
    // once a second, since the eyes want it with every frame.
    mutable std::optional<QRectF> m_dockedRect;
    mutable double m_dockedRectAt = 0;
    std::unique_ptr<x11::WindowPicture> m_windowPicture;
    QImage m_picture;
    bool m_iconBehind = false;
};

} // namespace nimbra
