#include "support/upower_bed.h"

#include "support/private_servers.h"
#include "support/test_support.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

namespace nimbra::test {

namespace {

// Reads one line from `process`, waiting for it up to `timeoutMs`.
QByteArray readLine(QProcess& process, int timeoutMs)
{
    QByteArray line;
    waitUntil(
        [&] {
            if (process.canReadLine() || process.waitForReadyRead(20)) {
                if (process.canReadLine())
                    line = process.readLine().trimmed();
            }
            return !line.isEmpty() || process.state() == QProcess::NotRunning;
        },
        timeoutMs);
    return line;
}

QString python()
{
    return qEnvironmentVariable("NIMBRA_PYTHON", "/usr/bin/python3");
}

} // namespace

UPowerBed::UPowerBed(PrivateBus& bus)
    : m_bus(bus)
{
    // The driver raises the uevents, so it runs inside the testbed's preload library too.
    m_driver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_driver.start("umockdev-wrapper", { python(), sourcePath("tests/support/umockdev_bed.py") });
    if (!m_driver.waitForStarted(5000))
        return;
    m_testbed = QString::fromUtf8(readLine(m_driver, 15000));
}

UPowerBed::~UPowerBed()
{
    stopProcess(m_profiles);
    stopDaemon();
    m_driver.closeWriteChannel();
    if (!m_driver.waitForFinished(5000))
        stopProcess(m_driver);
}

QString UPowerBed::command(const QVariantMap& request)
{
    if (!isReady())
        return {};
    m_driver.write(QJsonDocument(QJsonObject::fromVariantMap(request)).toJson(QJsonDocument::Compact) + '\n');
    const QByteArray answer = readLine(m_driver, 10000);
    if (!answer.startsWith("ok ")) {
        qWarning("umockdev testbed: %s", answer.constData());
        return {};
    }
    return QString::fromUtf8(answer.mid(3));
}

QString UPowerBed::add(const QString& subsystem, const QString& name, const QString& parent,
    const QVariantMap& attributes, const QVariantMap& properties)
{
    QVariantMap request { { "add", subsystem }, { "name", name }, { "attributes", attributes },
        { "properties", properties } };
    if (!parent.isEmpty())
        request.insert("parent", parent);
    return command(request);
}

QString UPowerBed::addLinePower(bool online, const QString& name)
{
    return add("power_supply", name, {}, { { "type", "Mains" }, { "online", online ? "1" : "0" } });
}

QString UPowerBed::addBattery(int percent, const QString& status, const QString& name)
{
    return add("power_supply", name, {},
        { { "type", "Battery" }, { "present", "1" }, { "status", status }, { "energy_full", "60000000" },
            { "energy_full_design", "80000000" }, { "energy_now", charge(percent).value("energy_now") },
            { "voltage_now", "12000000" } });
}

QVariantMap UPowerBed::charge(int percent)
{
    return { { "energy_now", QString::number(600000 * percent) } };
}

QString UPowerBed::addBluetoothMouse(const QString& model, int percent, const QString& address)
{
    const QString hci = add("bluetooth", "hci0-" + address, {}, {});
    const QString input = add("input", "input-" + address, hci, {},
        { { "ID_INPUT", "1" }, { "ID_INPUT_MOUSE", "1" }, { "ID_BUS", "bluetooth" } });
    if (input.isEmpty())
        return {};
    QString battery = address;
    battery.replace(':', '_');
    return add("power_supply", "hid-" + battery + "-battery", input,
        { { "type", "Battery" }, { "scope", "Device" }, { "present", "1" }, { "online", "1" },
            { "status", "Discharging" }, { "capacity", QString::number(percent) }, { "model_name", model } });
}

QString UPowerBed::addKbdBacklight(int level, int maximum)
{
    return add("leds", "tpacpi::kbd_backlight", {},
        { { "brightness", QString::number(level) }, { "max_brightness", QString::number(maximum) } });
}

bool UPowerBed::change(const std::vector<std::pair<QString, QVariantMap>>& changes)
{
    QVariantList paths, attributes;
    for (const auto& [path, values] : changes) {
        paths.append(path);
        attributes.append(values);
    }
    return !command({ { "set", paths }, { "attributes", attributes } }).isEmpty();
}

bool UPowerBed::remove(const QString& path)
{
    return !command({ { "remove", path } }).isEmpty();
}

QString UPowerBed::attribute(const QString& path, const QString& name) const
{
    QFile file(m_testbed + path + "/" + name);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

bool UPowerBed::startInBed(QProcess& process, const QString& program, const QString& busName)
{
    if (!isReady() || process.state() != QProcess::NotRunning)
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", m_bus.address());
    env.insert("UMOCKDEV_DIR", m_testbed);
    env.insert("UPOWER_HISTORY_DIR", m_dir.path());
    process.setProcessEnvironment(env);
    const QString log = m_dir.filePath(busName + ".log");
    process.setStandardOutputFile(log);
    process.setStandardErrorFile(log, QIODevice::Append);
    process.start("umockdev-wrapper", { program, "--verbose" });
    if (!process.waitForStarted(5000))
        return false;
    QDBusConnection bus = m_bus.connection();
    return waitUntil(
               [&] {
                   return bus.interface()->isServiceRegistered(busName).value()
                       || process.state() == QProcess::NotRunning;
               },
               15000)
        && process.state() == QProcess::Running;
}

bool UPowerBed::startDaemon()
{
    return startInBed(m_daemon, "/usr/libexec/upowerd", "org.freedesktop.UPower");
}

bool UPowerBed::startPowerProfiles()
{
    // The bus is the bed's own, so the stand-in polkit answers only this test's daemon.
    if (!m_bus.startTemplate("polkitd", "org.freedesktop.PolicyKit1")
        || !m_bus.mock("org.freedesktop.PolicyKit1", "/org/freedesktop/PolicyKit1/Authority",
            "SetAllowed(['net.hadess.PowerProfiles.switch-profile'])"))
        return false;
    return startInBed(m_profiles, "/usr/libexec/power-profiles-daemon", "net.hadess.PowerProfiles");
}

bool UPowerBed::setPowerProfile(const QString& profile)
{
    QDBusMessage set = QDBusMessage::createMethodCall(
        "net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "org.freedesktop.DBus.Properties", "Set");
    set << QString("net.hadess.PowerProfiles") << QString("ActiveProfile")
        << QVariant::fromValue(QDBusVariant(profile));
    return m_bus.connection().call(set, QDBus::Block, 10000).type() == QDBusMessage::ReplyMessage;
}

bool UPowerBed::stopDaemon()
{
    if (!isDaemonRunning())
        return false;
    stopProcess(m_daemon);
    QDBusConnection bus = m_bus.connection();
    return waitUntil([&] { return !bus.interface()->isServiceRegistered("org.freedesktop.UPower").value(); });
}

} // namespace nimbra::test
