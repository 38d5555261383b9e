#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>
#include <utility>
#include <vector>

namespace nimbra::test {

class PrivateBus;

// The real upowerd (and, when asked, power-profiles-daemon) on a private "system" bus over
// power devices faked with umockdev, the way UPower's own tests run it. Devices are described before or after the
// daemon starts (after: a hot plug); changing their attributes raises the uevents the kernel would. Everything it
// starts is stopped by PID when it goes.
class UPowerBed {
public:
    explicit UPowerBed(PrivateBus& bus);
    ~UPowerBed();
    UPowerBed(const UPowerBed&) = delete;
    UPowerBed& operator=(const UPowerBed&) = delete;

    // The testbed is up (not yet the daemon).
    bool isReady() const { return !m_testbed.isEmpty(); }

    // Each adds a device and returns its sysfs path; empty when the testbed refused it.
    QString addLinePower(bool online, const QString& name = QStringLiteral("AC"));
    // A battery that powers the machine, 60 Wh full, at `percent`, with the kernel's status
    // word ("Discharging", "Charging", "Full", "Not charging").
    QString addBattery(int percent, const QString& status, const QString& name = QStringLiteral("BAT0"));
    // The attribute that puts a battery of addBattery() at `percent`.
    static QVariantMap charge(int percent);
    // A Bluetooth HID mouse with its own battery, as the kernel shows one paired over
    // `address` (aa:bb:...).
    QString addBluetoothMouse(const QString& model, int percent, const QString& address);
    // A keyboard backlight LED with levels 0...`maximum`.
    QString addKbdBacklight(int level, int maximum);
    QString add(const QString& subsystem, const QString& name, const QString& parent, const QVariantMap& attributes,
        const QVariantMap& properties = {});

    // Changes the attributes of several devices, then raises their uevents back to back, as
    // one hardware event does; true when the testbed took it.
    bool change(const std::vector<std::pair<QString, QVariantMap>>& changes);
    bool change(const QString& path, const QVariantMap& attributes) { return change({ { path, attributes } }); }
    // Unplugs a device: a "remove" uevent, then it is gone.
    bool remove(const QString& path);
    // A sysfs attribute as the testbed holds it (what the daemon wrote, for one).
    QString attribute(const QString& path, const QString& name) const;

    // Starts upowerd over the devices so far and waits until it owns its name on the bus.
    bool startDaemon();
    // Stops it (SIGTERM) and waits until its name is gone.
    bool stopDaemon();
    bool isDaemonRunning() const { return m_daemon.state() == QProcess::Running; }

    // Starts the real power-profiles-daemon over the same devices (its placeholder driver
    // offers "power-saver" and "balanced"), with dbusmock's polkit standing in for the system's
    // to let profiles be switched; waits until it owns its name.
    bool startPowerProfiles();
    // Switches the active profile as a settings panel would; true when the daemon took it.
    bool setPowerProfile(const QString& profile);

private:
    QString command(const QVariantMap& request);
    // Starts `program` inside the testbed on the bed's bus and waits until it owns `busName`.
    bool startInBed(QProcess& process, const QString& program, const QString& busName);

    PrivateBus& m_bus;
    QTemporaryDir m_dir;
    QProcess m_driver;
    QProcess m_daemon;
    QProcess m_profiles;
    QString m_testbed;
};

} // namespace nimbra::test
