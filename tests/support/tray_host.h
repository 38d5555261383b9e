#pragma once

#include <QList>
#include <QPoint>
#include <QProcess>

// A classic XEmbed tray on the test display (trayer), at its bottom edge so that it covers no
// notch. It takes in every status item on the display, so the tests that use one run in a
// harness of their own.
namespace nimbra::test {

class TrayHost {
public:
    TrayHost();
    ~TrayHost();
    TrayHost(const TrayHost&) = delete;
    TrayHost& operator=(const TrayHost&) = delete;

    // The tray runs and has taken the tray selection.
    bool isReady() const;

private:
    QProcess m_process;
};

// The windows Qt made for this process's tray icons, and those of them the tray has taken in
// (reparented into its own) and shows.
QList<unsigned> trayIconWindows();
QList<unsigned> iconsInTheTray();
// A left click with the real pointer at `at` in a window, wherever the tray has put it.
bool clickWindow(unsigned window, QPoint at);

} // namespace nimbra::test
