#include "core/settings_storage.h"

#include "core/diagnostics.h"
#include "core/regular_file.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <cmath>
#include <unistd.h>

namespace nimbra {

namespace {

// The log has no category of its own for settings; their trouble shows on the surface first.
constexpr Diagnostics::Category settingsCategory = Diagnostics::Category::surface;

// A number written as text ("12", " 0.5 ") is read as that number; other text is not a number.
std::optional<double> numberInText(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

std::optional<double> numberOf(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? 1.0 : 0.0;
    case QJsonValue::Double:
        return value.toDouble();
    case QJsonValue::String:
        return numberInText(value.toString());
    default:
        return std::nullopt;
    }
}

} // namespace

bool SettingsStorage::boolValue(const QString& key) const
{
    const QJsonValue value = object(key);
    if (value.isBool())
        return value.toBool();
    if (value.isString()) {
        const QString text = value.toString().trimmed().toLower();
        if (text == u"true" || text == u"yes")
            return true;
    }
    const std::optional<double> number = numberOf(value);
    return number && *number != 0 && !std::isnan(*number);
}

qint64 SettingsStorage::integer(const QString& key) const
{
    const std::optional<double> number = numberOf(object(key));
    // Beyond ±2^63 the cast is undefined; such a value is no usable setting anyway.
    if (!number || !std::isfinite(*number) || std::fabs(*number) >= 9.2e18)
        return 0;
    return qint64(std::trunc(*number));
}

double SettingsStorage::doubleValue(const QString& key) const
{
    return numberOf(object(key)).value_or(0.0);
}

std::optional<QString> SettingsStorage::string(const QString& key) const
{
    const QJsonValue value = object(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

std::optional<QJsonArray> SettingsStorage::array(const QString& key) const
{
    const QJsonValue value = object(key);
    if (!value.isArray())
        return std::nullopt;
    return value.toArray();
}

std::optional<QByteArray> SettingsStorage::data(const QString& key) const
{
    const QJsonValue value = object(key);
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    if (value.isArray())
        return QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact);
    return std::nullopt;
}

bool SettingsStorage::setData(const QString& key, const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return false;
    if (document.isObject())
        setObject(key, document.object());
    else
        setObject(key, document.array());
    return true;
}

void MemorySettingsStorage::setObject(const QString& key, const QJsonValue& value)
{
    if (value.isUndefined())
        return;
    m_values.insert(key, value);
    m_writtenKeys.append(key);
}

// ---------------------------------------------------------------------------------------------

JsonFileSettingsStorage::JsonFileSettingsStorage(QString path, int writeDelayMs)
    : m_path(std::move(path))
    , m_writeDelayMs(writeDelayMs)
{
    load();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            // From here on the event loop will not run again: later writes go straight to disk.
            m_quitting = true;
            flush();
        });
    }
}

JsonFileSettingsStorage::~JsonFileSettingsStorage()
{
    flush();
}

QString JsonFileSettingsStorage::defaultPath()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/nimbra/settings.json");
}

void JsonFileSettingsStorage::load()
{
    const RegularFileRead file = readRegularFile(m_path, maximumFileBytes);
    switch (file.outcome) {
    case RegularFileRead::Outcome::missing:
        return;
    case RegularFileRead::Outcome::notRegular:
    case RegularFileRead::Outcome::failed:
        // What cannot be read must not be replaced by defaults on the next write.
        m_writable = false;
        report(QStringLiteral("cannot read %1 (%2); defaults in use, the file is left alone")
                   .arg(m_path, file.outcome == RegularFileRead::Outcome::failed ? file.error
                                                                                  : QStringLiteral("not a regular file")));
        return;
    case RegularFileRead::Outcome::tooLarge:
        moveAside(QStringLiteral("larger than %1 MB").arg(maximumFileBytes / (1024 * 1024)));
        return;
    case RegularFileRead::Outcome::read:
        break;
    }

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &error);
    if (error.error != QJsonParseError::NoError) {
        moveAside(QStringLiteral("not valid JSON (%1 at offset %2)").arg(error.errorString()).arg(error.offset));
        return;
    }
    if (!document.isObject()) {
        moveAside(QStringLiteral("not a JSON object"));
        return;
    }
    m_values = document.object();
}

void JsonFileSettingsStorage::moveAside(const QString& reason)
{
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = m_path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = m_path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);

    if (QFile::rename(m_path, target)) {
        m_corruptCopyPath = target;
        report(QStringLiteral("%1 is %2; moved to %3, defaults in use").arg(m_path, reason, target));
    } else {
        m_writable = false;
        report(QStringLiteral("%1 is %2 and cannot be moved aside; defaults in use, the file is left alone")
                   .arg(m_path, reason));
    }
}

void JsonFileSettingsStorage::report(const QString& message)
{
    if (Diagnostics::isEnabled())
        Diagnostics::log(settingsCategory, [&] { return message; });
    else
        Diagnostics::writeLine(STDERR_FILENO, ("nimbra: settings: " + message + QLatin1Char('\n')).toUtf8());
}

void JsonFileSettingsStorage::setObject(const QString& key, const QJsonValue& value)
{
    if (value.isUndefined())
        return;
    m_values.insert(key, value);
    m_pending = true;
    schedule();
}

void JsonFileSettingsStorage::schedule()
{
    // Without a running application there is no later: write now.
    if (m_quitting || !QCoreApplication::instance() || QCoreApplication::closingDown()) {
        flush();
        return;
    }
    if (m_writeTimer)
        return;
    m_writeTimer = std::make_unique<QTimer>();
    m_writeTimer->setSingleShot(true);
    m_writeTimer->setInterval(m_writeDelayMs);
    connect(m_writeTimer.get(), &QTimer::timeout, this, [this] {
        // The timer is still inside its own signal here: it may only go once that returns.
        m_writeTimer.release()->deleteLater();
        flush();
    });
    m_writeTimer->start();
}

bool JsonFileSettingsStorage::flush(QString* error)
{
    m_writeTimer.reset();
    if (!m_pending)
        return true;
    if (!m_writable) {
        if (error)
            *error = QStringLiteral("%1 could not be read, so it is not written over").arg(m_path);
        return false;
    }

    const QFileInfo info(m_path);
    QDir dir = info.absoluteDir();
    if (!dir.exists()) {
        dir.mkpath(QStringLiteral("."));
        QFile::setPermissions(
            dir.absolutePath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QSaveFile file(m_path);
    const bool written = file.open(QIODevice::WriteOnly)
        && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        && file.write(QJsonDocument(m_values).toJson(QJsonDocument::Indented)) >= 0 && file.commit();
    if (!written) {
        file.cancelWriting();
        // Stays pending: the next write, quit or destruction tries again.
        const QString reason = QStringLiteral("cannot write %1 (%2)").arg(m_path, file.errorString());
        Diagnostics::log(settingsCategory, [&] { return reason; });
        if (error)
            *error = reason;
        return false;
    }
    m_pending = false;
    ++m_fileWrites;
    return true;
}

} // namespace nimbra
