#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QTimer;

namespace nimbra {

// The key–value store the settings sit on: one flat map of dotted keys to JSON values in their
// natural types (Booleans, numbers, strings, arrays, objects). Writes are visible to the next
// read at once; getting them to disk is the implementation's business.
class SettingsStorage {
public:
    virtual ~SettingsStorage() = default;

    // The stored value; undefined (QJsonValue::isUndefined) when the key is absent.
    virtual QJsonValue object(const QString& key) const = 0;
    // Stores `value` under `key`. An undefined value stores nothing.
    virtual void setObject(const QString& key, const QJsonValue& value) = 0;
    // Writes anything still pending; true when every write so far is stored. `error`, when
    // given, says why not. The in-memory store has nothing to write.
    virtual bool flush(QString* error = nullptr) { return true; }

    // Typed getters with the store's own conversion of whatever is stored:
    // a Boolean reads as 1/0 and true/false, a number as itself (non-zero is true), a string
    // by parsing it ("true"/"yes" or a non-zero number is true); anything else as false/0.
    bool boolValue(const QString& key) const;
    // Fractions are cut toward zero; what does not fit, or is not finite, reads as 0.
    qint64 integer(const QString& key) const;
    double doubleValue(const QString& key) const;
    // Nothing when absent or not a string.
    std::optional<QString> string(const QString& key) const;
    // Nothing when absent or not an array.
    std::optional<QJsonArray> array(const QString& key) const;
    // A structured value (object or array) as compact JSON text; nothing for anything else.
    std::optional<QByteArray> data(const QString& key) const;

    void setBool(const QString& key, bool value) { setObject(key, value); }
    void setInteger(const QString& key, qint64 value) { setObject(key, value); }
    void setDouble(const QString& key, double value) { setObject(key, value); }
    // `json` must be the text of a JSON object or array; anything else writes nothing and
    // gives false.
    bool setData(const QString& key, const QByteArray& json);
};

// Holds everything in memory. Keeps the order of writes so that callers can see which keys an
// operation wrote, unchanged values included.
class MemorySettingsStorage final : public SettingsStorage {
public:
    MemorySettingsStorage() = default;
    explicit MemorySettingsStorage(QJsonObject values)
        : m_values(std::move(values))
    {
    }

    QJsonValue object(const QString& key) const override { return m_values.value(key); }
    void setObject(const QString& key, const QJsonValue& value) override;

    const QJsonObject& values() const { return m_values; }
    const QStringList& writtenKeys() const { return m_writtenKeys; }
    void forgetWrites() { m_writtenKeys.clear(); }

private:
    QJsonObject m_values;
    QStringList m_writtenKeys;
};

// One JSON object in a file, private to the user (mode 0600). Every write lands in memory at
// once; the file follows after a short delay (so a slider drag does not rewrite it sixty times a
// second), at application quit, at flush() and at destruction, always as a whole new file
// renamed over the old one. Creating the store writes nothing.
//
// A file that cannot be parsed, holds no JSON object or is over maximumFileBytes is moved aside
// to "<name>.corrupt-<UTC timestamp>" and the store starts empty; a file that cannot be read (a
// FIFO or device in its place included, which is never waited on) or moved aside is left alone
// and never written over. Either is said on standard error in one line,
// with the diagnostics log or without it: the user's settings are not in use.
class JsonFileSettingsStorage final : public QObject, public SettingsStorage {
public:
    static constexpr int defaultWriteDelayMs = 400;
    // Our own file holds some kilobytes; a larger one is no settings of ours.
    static constexpr qint64 maximumFileBytes = 16 * 1024 * 1024;

    explicit JsonFileSettingsStorage(QString path, int writeDelayMs = defaultWriteDelayMs);
    ~JsonFileSettingsStorage() override;

    // $XDG_CONFIG_HOME/nimbra/settings.json, ~/.config/nimbra/settings.json without it.
    static QString defaultPath();

    QJsonValue object(const QString& key) const override { return m_values.value(key); }
    void setObject(const QString& key, const QJsonValue& value) override;
    bool flush(QString* error = nullptr) override;

    const QString& path() const { return m_path; }
    // Where a damaged file was moved at start, empty when none was.
    const QString& corruptCopyPath() const { return m_corruptCopyPath; }
    // False when the file could not be read or moved aside: it is then never written.
    bool isWritable() const { return m_writable; }
    bool hasPendingWrite() const { return m_pending; }
    // How many times the file has been written by this store.
    int fileWrites() const { return m_fileWrites; }

private:
    void load();
    void moveAside(const QString& reason);
    // One line on standard error (through the diagnostics log when it is on).
    void report(const QString& message);
    void schedule();

    QString m_path;
    int m_writeDelayMs;
    QJsonObject m_values;
    QString m_corruptCopyPath;
    bool m_writable = true;
    bool m_pending = false;
    bool m_quitting = false;
    int m_fileWrites = 0;
    // Exists only while a write is pending.
    std::unique_ptr<QTimer> m_writeTimer;
};

} // namespace nimbra
