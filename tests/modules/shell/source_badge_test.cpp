#include "modules/shell/source_badge.h"

#include "modules/surface_stage.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace nimbra;
using namespace nimbra::test;

namespace {

// A private XDG data folder holding desktop entries the badge may find.
struct Applications {
    QTemporaryDir dir;
    QByteArray previous = qgetenv("XDG_DATA_HOME");
    QByteArray previousDirs = qgetenv("XDG_DATA_DIRS");

    Applications()
    {
        QDir(dir.path()).mkpath("applications");
        qputenv("XDG_DATA_HOME", dir.path().toUtf8());
        qputenv("XDG_DATA_DIRS", (dir.path() + "/none").toUtf8());
    }
    ~Applications()
    {
        qputenv("XDG_DATA_HOME", previous);
        qputenv("XDG_DATA_DIRS", previousDirs);
    }

    // An entry whose icon is a red square file.
    void install(const QString& entry, const QColor& colour)
    {
        QImage icon(64, 64, QImage::Format_ARGB32);
        icon.fill(colour);
        const QString iconPath = dir.path() + "/" + entry + ".png";
        icon.save(iconPath);
        QFile file(dir.path() + "/applications/" + entry + ".desktop");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nName=Player\nIcon=" + iconPath.toUtf8()
            + "\n\n[Desktop Action other]\nIcon=nothing\n");
    }
};

} // namespace

TEST(SourceBadge, FindsTheIconThroughTheDesktopEntryAndKeepsIt)
{
    Applications apps;
    EXPECT_EQ(SourceBadge::icon("nimbra-test-player"), std::nullopt);
    // Not cached: once installed, the next lookup finds it.
    apps.install("nimbra-test-player", Qt::red);
    ASSERT_NE(SourceBadge::icon("nimbra-test-player.desktop"), std::nullopt);
    // Found once, kept for the process even when the entry goes away.
    QFile::remove(apps.dir.path() + "/applications/nimbra-test-player.desktop");
    EXPECT_NE(SourceBadge::icon("nimbra-test-player"), std::nullopt);

    // Names that are no entry names never reach the file system.
    EXPECT_EQ(SourceBadge::icon("../nimbra-test-player"), std::nullopt);
    EXPECT_EQ(SourceBadge::icon(""), std::nullopt);

    // A FIFO named like an entry (a player may name any entry) is passed over, not waited on.
    ASSERT_TRUE(makeFifo(apps.dir.path() + "/applications/nimbra-fifo-player.desktop"));
    EXPECT_EQ(SourceBadge::icon("nimbra-fifo-player"), std::nullopt);
    // So is an entry whose icon is one.
    const QString fifoIcon = apps.dir.path() + "/icon.png";
    ASSERT_TRUE(makeFifo(fifoIcon));
    QFile entry(apps.dir.path() + "/applications/nimbra-fifo-icon-player.desktop");
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nName=Player\nIcon=" + fifoIcon.toUtf8() + "\n");
    entry.close();
    EXPECT_EQ(SourceBadge::icon("nimbra-fifo-icon-player"), std::nullopt);
}

TEST(SourceBadge, DrawsThePlayerIconOrAMusicNote)
{
    Applications apps;
    apps.install("nimbra-green-player", Qt::green);
    Stage stage(NotchTheme::dark(), { 40, 20 });
    auto* found = new SourceBadge(NowPlayingTrack::Source::spotify, 16, &stage.host);
    found->setDesktopEntry("nimbra-green-player");
    found->move(2, 2);
    found->show();
    auto* missing = new SourceBadge(NowPlayingTrack::Source::appleMusic, 16, &stage.host);
    missing->move(22, 2);
    missing->show();
    EXPECT_EQ(found->toolTip(), "Spotify");
    EXPECT_EQ(missing->toolTip(), "Music");
    EXPECT_EQ(found->size(), QSize(16, 16));

    const QImage image = stage.render(4);
    saveArtefact(image, "source-badges");
    EXPECT_GT(countNear(image, QRectF(2, 2, 16, 16), Qt::green, 10), 150);
    // The fallback note is white at 0.6 over the surface.
    EXPECT_GT(countNear(image, QRectF(22, 2, 16, 16), over(QColor::fromRgbF(1, 1, 1, 0.6f), Qt::black), 12), 10);
    EXPECT_EQ(countNear(image, QRectF(22, 2, 16, 16), Qt::green, 10), 0);
}
