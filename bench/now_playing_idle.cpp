// The now-playing monitor and its resident readout as the notch runs them, without the rest of
// the application, for bench/now_playing_idle.sh to measure: it follows the players on the
// session bus, shows the music readout of the current track in a window (offscreen unless
// QT_QPA_PLATFORM says otherwise) and, with --resident, tells the monitor the position is on
// screen, as the notch does while its resident readout shows. Prints "track <title>" each time
// the shown track changes. Runs until killed.
#include "modules/now_playing/now_playing_monitor.h"
#include "modules/now_playing/now_playing_views.h"
#include "ui/surface/notch_theme.h"

#include <QApplication>
#include <QPointer>
#include <cstdio>
#include <cstring>

using namespace nimbra;

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool resident = argc > 1 && std::strcmp(argv[1], "--resident") == 0;

    const SurfaceMetrics metrics(QSizeF(233, 78), 32, 185);
    QWidget host;
    host.resize(233, 78);
    setNotchTheme(&host, NotchTheme::dark());
    host.show();

    NowPlayingMonitor monitor;
    QPointer<NowPlayingActivityView> shown;
    QString lastTitle;
    monitor.onChange = [&](const std::optional<NowPlayingTrack>& track, std::optional<NowPlayingTrack::Change>) {
        if (!track) {
            delete shown.data();
            return;
        }
        auto* fresh = new NowPlayingActivityView(*track, QImage(), metrics, std::nullopt, 0);
        if (shown) {
            shown->adopt(*fresh);
            delete fresh;
        } else {
            shown = fresh;
            shown->setParent(&host);
            shown->setGeometry(host.rect());
            shown->show();
        }
        if (track->title != lastTitle) {
            lastTitle = track->title;
            std::printf("track %s\n", qPrintable(lastTitle));
            std::fflush(stdout);
        }
    };
    monitor.setPositionVisible(resident);
    monitor.start();
    return app.exec();
}
