#include "core/version.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <limits>

namespace nimbra {

namespace {

bool isBlank(char32_t c)
{
    return c == U'\t' || QChar::category(c) == QChar::Separator_Space;
}

bool isVersionLetter(char32_t c)
{
    return c == U'v' || c == U'V';
}

template <typename Predicate> QString trimmedCodePoints(const QString& text, Predicate drop)
{
    const QList<uint> points = text.toUcs4();
    qsizetype begin = 0;
    qsizetype end = points.size();
    while (begin < end && drop(points[begin]))
        ++begin;
    while (end > begin && drop(points[end - 1]))
        --end;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(points.constData() + begin), end - begin);
}

// User-perceived characters, so that a digit carrying a combining mark stays one unit.
QStringList graphemes(const QString& text)
{
    QStringList result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype next = finder.position();
        if (next > start)
            result.append(text.mid(start, next - start));
        start = next;
    }
    return result;
}

bool isNumeric(const QString& grapheme)
{
    const char32_t first = grapheme.toUcs4().value(0);
    return QChar::isNumber(first);
}

// Base-10 ASCII digits that fit a 64-bit integer.
std::optional<qint64> asciiInteger(const QString& digits)
{
    qint64 value = 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<QString> optionalString(const QJsonObject& object, QLatin1StringView key, bool& ok)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        ok = false;
    return value.toString();
}

} // namespace

// MARK: Version

std::optional<Version> Version::parse(const QString& text)
{
    const QString trimmed = trimmedCodePoints(trimmedCodePoints(text, isBlank), isVersionLetter);

    // Split on "." dropping empty pieces.
    QList<QStringList> pieces { {} };
    for (const QString& grapheme : graphemes(trimmed)) {
        if (grapheme == u".")
            pieces.append(QStringList());
        else
            pieces.last().append(grapheme);
    }

    QList<qint64> parts;
    for (const QStringList& piece : pieces) {
        if (piece.isEmpty())
            continue;
        QString run;
        qsizetype length = 0;
        while (length < piece.size() && isNumeric(piece[length]))
            run += piece[length++];
        if (run.isEmpty())
            break;
        const std::optional<qint64> value = asciiInteger(run);
        if (!value)
            break;
        parts.append(*value);
        if (length < piece.size())
            break; // "4-beta" ends the version after its 4
    }
    if (parts.isEmpty())
        return std::nullopt;
    return Version(std::move(parts));
}

QString Version::description() const
{
    QStringList texts;
    for (qint64 part : m_parts)
        texts.append(QString::number(part));
    return texts.join(u'.');
}

std::strong_ordering operator<=>(const Version& a, const Version& b)
{
    const qsizetype count = std::max(a.m_parts.size(), b.m_parts.size());
    for (qsizetype i = 0; i < count; ++i) {
        const qint64 left = a.m_parts.value(i, 0);
        const qint64 right = b.m_parts.value(i, 0);
        if (left != right)
            return left <=> right;
    }
    return std::strong_ordering::equal;
}

// MARK: UpdateManifest

std::optional<UpdateManifest> UpdateManifest::decode(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();

    const QJsonValue version = object.value(QLatin1StringView("version"));
    const QJsonValue url = object.value(QLatin1StringView("url"));
    if (!version.isString() || !url.isString())
        return std::nullopt;

    // The address is opened by the desktop: only a well-formed https address with a host
    // will do, never a file, a script or another scheme.
    const QUrl address(url.toString(), QUrl::StrictMode);
    if (!address.isValid() || address.scheme().compare(u"https", Qt::CaseInsensitive) != 0 || address.host().isEmpty())
        return std::nullopt;

    bool ok = true;
    UpdateManifest manifest;
    manifest.version = version.toString();
    manifest.url = address;
    manifest.notes = optionalString(object, QLatin1StringView("notes"), ok);
    manifest.minimumSystemVersion = optionalString(object, QLatin1StringView("minimumSystemVersion"), ok);
    if (!ok)
        return std::nullopt;
    return manifest;
}

bool UpdateManifest::isNewer(const QString& currentVersion) const
{
    const std::optional<Version> offered = Version::parse(version);
    const std::optional<Version> current = Version::parse(currentVersion);
    return offered && current && *current < *offered;
}

} // namespace nimbra
