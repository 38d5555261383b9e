#include "platform/thumbnails/thumbnail_cache.h"

#include "platform/thumbnails/guarded_file.h"
#include "platform/thumbnails/worker_census.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QImageWriter>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <cstdio>
#include <sys/stat.h>

namespace nimbra {

namespace {

// GLib leaves these bytes of a path as they are in a file URI and escapes every other one.
bool keptInUri(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '+':
    case ',':
    case '-':
    case '.':
    case '/':
    case ':':
    case '=':
    case '@':
    case '_':
    case '~':
        return true;
    default:
        return false;
    }
}

std::optional<std::int64_t> digits(QStringView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    std::int64_t value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// The text chunks a PNG carries ahead of its picture data: enough to judge a cache entry without
// decoding it. (Qt's own text lookup cannot tell "Thumb::URI" from a key "Thumb".)
QHash<QString, QString> leadingTexts(QIODevice& file)
{
    QHash<QString, QString> texts;
    if (file.read(8) != QByteArrayView("\x89PNG\r\n\x1a\n"))
        return texts;
    for (int chunks = 0; chunks < 64; ++chunks) {
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            break;
        const quint32 length = (quint32(uchar(header[0])) << 24) | (quint32(uchar(header[1])) << 16)
            | (quint32(uchar(header[2])) << 8) | quint32(uchar(header[3]));
        const QByteArray type = header.mid(4, 4);
        if (type == "IDAT" || length > 65536)
            break;
        const QByteArray data = file.read(length);
        file.skip(4); // CRC
        if (data.size() != qsizetype(length))
            break;
        const qsizetype nul = data.indexOf('\0');
        if (nul <= 0)
            continue;
        const QString key = QString::fromLatin1(data.left(nul));
        if (type == "tEXt") {
            texts.insert(key, QString::fromLatin1(data.mid(nul + 1)));
        } else if (type == "iTXt" && data.size() > nul + 2 && data.at(nul + 1) == 0) {
            // Uncompressed international text: skip the language tag and the translated key.
            const qsizetype language = data.indexOf('\0', nul + 3);
            const qsizetype translated = language < 0 ? -1 : data.indexOf('\0', language + 1);
            if (translated >= 0)
                texts.insert(key, QString::fromUtf8(data.mid(translated + 1)));
        }
    }
    return texts;
}

// The folders of the cache are private to their owner.
bool makePrivateFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

std::optional<FileStamp> FileStamp::of(const QString& path)
{
    const OutsideWait waiting;
    struct stat info { };
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    return FileStamp { std::int64_t(info.st_mtim.tv_sec), std::int32_t(info.st_mtim.tv_nsec),
        std::int64_t(info.st_size) };
}

QString ThumbnailCache::folderName(Flavor flavor)
{
    switch (flavor) {
    case Flavor::normal:
        return QStringLiteral("normal");
    case Flavor::large:
        return QStringLiteral("large");
    case Flavor::xLarge:
        return QStringLiteral("x-large");
    case Flavor::xxLarge:
        return QStringLiteral("xx-large");
    }
    return QStringLiteral("normal");
}

int ThumbnailCache::pixels(Flavor flavor)
{
    switch (flavor) {
    case Flavor::normal:
        return 128;
    case Flavor::large:
        return 256;
    case Flavor::xLarge:
        return 512;
    case Flavor::xxLarge:
        return 1024;
    }
    return 128;
}

ThumbnailCache::Flavor ThumbnailCache::flavorFor(int wanted)
{
    for (Flavor flavor : allFlavors) {
        if (pixels(flavor) >= wanted)
            return flavor;
    }
    return Flavor::xxLarge;
}

ThumbnailCache::ThumbnailCache(QString root)
    : m_root(QDir::cleanPath(root))
{
}

QString ThumbnailCache::defaultRoot()
{
    // $XDG_CACHE_HOME, else ~/.cache.
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/thumbnails");
}

QString ThumbnailCache::fileUri(const QString& path)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    const QByteArray bytes = QFile::encodeName(path);
    uri.reserve(uri.size() + bytes.size() * 3);
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        if (keptInUri(c)) {
            uri.append(byte);
        } else {
            uri.append('%');
            uri.append(hex[c >> 4]);
            uri.append(hex[c & 0xF]);
        }
    }
    return QString::fromLatin1(uri);
}

QString ThumbnailCache::entryPath(const QString& uri, Flavor flavor) const
{
    const QByteArray md5 = QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex();
    return m_root + u'/' + folderName(flavor) + u'/' + QString::fromLatin1(md5) + QStringLiteral(".png");
}

bool ThumbnailCache::mtimeMatches(const QString& recorded, const FileStamp& stamp)
{
    const QString text = recorded.trimmed();
    const qsizetype dot = text.indexOf(u'.');
    const auto seconds = digits(QStringView(text).left(dot < 0 ? text.size() : dot));
    if (!seconds || *seconds != stamp.seconds)
        return false;
    if (dot < 0)
        return true;
    // Compared to as many decimals as the writer kept (at most nanoseconds).
    const QStringView fraction = QStringView(text).mid(dot + 1).left(9);
    const auto written = digits(fraction);
    if (!written)
        return false;
    std::int64_t divisor = 1;
    for (qsizetype i = fraction.size(); i < 9; ++i)
        divisor *= 10;
    return *written == stamp.nanoseconds / divisor;
}

std::optional<QImage> ThumbnailCache::lookup(
    const QString& uri, const FileStamp& stamp, const QList<Flavor>& order, const ReadLimit& limit) const
{
    for (Flavor flavor : order) {
        const QString path = entryPath(uri, flavor);
        // Other programs write here too: whatever sits at an entry's place is read as an
        // outside file, and anything but a regular file is passed over unopened.
        if (fileKind(path) != FileKind::regular)
            continue;
        GuardedFile file(path, limit);
        // Text chunks ahead of the picture are judged without decoding it, from its first bytes.
        if (!file.openRegular() || file.fileSize() > maxEntryBytes || !file.load(entryHeadBytes))
            continue;
        const QHash<QString, QString> texts = leadingTexts(file);
        QString recordedUri = texts.value(QStringLiteral("Thumb::URI"));
        QString recordedTime = texts.value(QStringLiteral("Thumb::MTime"));
        if (!recordedUri.isEmpty() && (recordedUri != uri || !mtimeMatches(recordedTime, stamp)))
            continue;
        if (!file.load(file.fileSize()) || !file.seek(0))
            continue;
        QImage image = QImageReader(&file, "png").read();
        if (image.isNull())
            continue;
        if (recordedUri.isEmpty()) {
            recordedUri = image.text(QStringLiteral("Thumb::URI"));
            recordedTime = image.text(QStringLiteral("Thumb::MTime"));
            if (recordedUri != uri || !mtimeMatches(recordedTime, stamp))
                continue;
        }
        return image;
    }
    return std::nullopt;
}

bool ThumbnailCache::store(
    const QString& uri, const FileStamp& stamp, const QString& mimeType, const QImage& source, Flavor flavor) const
{
    if (source.isNull())
        return false;
    const int edge = pixels(flavor);
    QImage image = (source.width() > edge || source.height() > edge)
        ? source.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : source;
    image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    image.setText(QStringLiteral("Thumb::URI"), uri);
    image.setText(QStringLiteral("Thumb::MTime"), QString::number(stamp.seconds));
    image.setText(QStringLiteral("Thumb::Size"), QString::number(stamp.size));
    if (!mimeType.isEmpty())
        image.setText(QStringLiteral("Thumb::Mime"), mimeType);
    image.setText(QStringLiteral("Software"), QStringLiteral("Nimbra"));

    const QString folder = m_root + u'/' + folderName(flavor);
    if (!makePrivateFolder(m_root) || !makePrivateFolder(folder))
        return false;
    // Written beside its place (a temporary file is private to its owner) and moved over it in
    // one step, so no reader ever sees half a picture.
    QTemporaryFile temporary(folder + QStringLiteral("/.nimbra-XXXXXX.png"));
    temporary.setAutoRemove(false);
    if (!temporary.open())
        return false;
    const QString temporaryPath = temporary.fileName();
    QImageWriter writer(&temporary, "png");
    const bool written = writer.write(image) && temporary.flush();
    temporary.close();
    if (!written
        || std::rename(
               QFile::encodeName(temporaryPath).constData(), QFile::encodeName(entryPath(uri, flavor)).constData())
            != 0) {
        QFile::remove(temporaryPath);
        return false;
    }
    return true;
}

bool ThumbnailCache::contains(const QString& path) const
{
    return QDir::cleanPath(path).startsWith(m_root + u'/');
}

} // namespace nimbra
