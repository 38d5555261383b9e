#include "modules/eyes/eyes_status_item.h"

#include "platform/screen_space.h"
#include "support/test_support.h"
#include "support/tray_host.h"
#include "ui/tray/tray_item.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(10000) && process.exitCode() == 0;
}

} // namespace

// The tray takes in every status item on the display (each Nimbra a test starts has one) and
// moves the icons it holds as they come and go; the case clicks with the real pointer. It runs
// on an X server of its own.
NIMBRA_OWN_HARNESS(EyesTray);

TEST(EyesTray, TheEyesDockIntoTheTrayAndALeftClickOpensTheMenu)
{
    TrayHost tray;
    ASSERT_TRUE(waitUntil([&] { return tray.isReady(); }, 15000)) << "trayer did not take the tray selection";

    QMenu menu;
    menu.addAction(QStringLiteral("Settings…"));
    menu.addAction(QStringLiteral("Quit Nimbra"));
    // A clock of the test's own: each frame below comes a second after the last, drawn at once.
    double clock = 100;
    EyesStatusItem eyes(nullptr, [&] { return clock; });
    eyes.setMenu(&menu);
    eyes.show(EyeStyle {});
    ASSERT_TRUE(waitUntil([&] { return eyes.isVisible() && eyes.item()->iconSide().has_value(); }, 15000))
        << "the icon was not docked";
    EXPECT_EQ(eyes.item()->icon().toolTip(), "Nimbra");

    // The eyes sit inside the docked icon, and the pupils may travel a fifth of an eye.
    // The tray reparents the icon's window a moment after Qt shows it; its place is asked of
    // the server again at most once a second.
    QRect icon;
    ASSERT_TRUE(waitUntil([&] {
        icon = eyes.item()->screenRect(EyesStatusItem::defaultSide).toRect();
        return icon.y() > 900;
    })) << "not docked in the tray at the bottom edge";
    const auto centres = eyes.eyeCentres();
    ASSERT_TRUE(centres.has_value());
    const QPointF left = screen_space::toQt(centres->left);
    const QPointF right = screen_space::toQt(centres->right);
    EXPECT_TRUE(QRectF(icon).contains(left)) << left.x() << "," << left.y();
    EXPECT_TRUE(QRectF(icon).contains(right));
    EXPECT_GT(right.x(), left.x());
    EXPECT_NEAR(eyes.travel(), EyesItemLayout::forStyle(EyeStyle {}).fitted(*eyes.item()->iconSide()).travel(), 1e-9);

    // What a person sees in the tray: white eyes, where the item says it is (the tray may still
    // settle its own size and place after taking the icon in).
    eyes.update(QPointF(2, 0), QPointF(2, 0), 0, 0, false);
    const QString shot = artefactDir() + "/eyes-tray.png";
    ASSERT_TRUE(waitUntil(
        [&] {
            icon = eyes.item()->screenRect(EyesStatusItem::defaultSide).toRect();
            if (!run("import",
                    { "-window", "root", "-crop",
                        QStringLiteral("%1x%2+%3+%4").arg(icon.width()).arg(icon.height()).arg(icon.x()).arg(icon.y()),
                        shot }))
                return false;
            const QImage image(shot);
            int white = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    white += image.pixelColor(x, y).lightness() > 230;
            return white > 4;
        },
        30000))
        << "no eyes visible in " << shot.toStdString();

    // Pictures go straight onto the docked window; Qt's icon is left alone until Qt paints the
    // window again, and then it paints the last picture, not the first.
    QWidget* docked = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        docked = widget->objectName() == QLatin1String("QSystemTrayIconSys") ? widget : docked;
    ASSERT_NE(docked, nullptr);
    const qint64 qtIcon = eyes.item()->icon().icon().cacheKey();
    clock += 1;
    eyes.update(QPointF(-3, 1), QPointF(-3, 1), 0, 0, false);
    const QImage first = eyes.lastIcon();
    clock += 1;
    eyes.update(QPointF(3, -2), QPointF(3, -2), 0.5, 0.5, false);
    const QImage last = eyes.lastIcon();
    ASSERT_NE(first, last);
    EXPECT_TRUE(eyes.item()->isIconBehindPicture());
    EXPECT_EQ(eyes.item()->icon().icon().cacheKey(), qtIcon) << "Qt repainted the icon for a picture";
    docked->repaint();
    EXPECT_FALSE(eyes.item()->isIconBehindPicture());
    const QImage painted = eyes.item()->icon().icon().pixmap(last.size()).toImage().convertToFormat(last.format());
    EXPECT_EQ(painted, last) << "Qt's icon is not the last picture";

    // A left click on the item opens the same menu as a right click.
    const QPoint centre = icon.center();
    ASSERT_TRUE(
        run("xdotool", { "mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1" }));
    ASSERT_TRUE(waitUntil([&] { return menu.isVisible(); }));
    menu.hide();

    // Gone from the tray when hidden.
    eyes.hide();
    EXPECT_FALSE(eyes.isVisible());
    EXPECT_FALSE(eyes.eyeCentres().has_value());
}
