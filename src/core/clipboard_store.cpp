#include "core/clipboard_store.h"

#include "core/file_url.h"

#include <QCryptographicHash>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cmath>

namespace nimbra {

namespace {

// A file URL's path without a trailing slash, as the list shows and stores it.
QString filePath(const QUrl& url)
{
    QString path = url.isLocalFile() ? localPath(url) : url.path();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString lastPathComponent(const QUrl& url)
{
    const QString path = filePath(url);
    if (path == QLatin1String("/"))
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x0A:
    case 0x0B:
    case 0x0C:
    case 0x0D:
    case 0x85:
    case 0x2028:
    case 0x2029:
        return true;
    default:
        return false;
    }
}

// Characters as a person counts them: a CR LF pair or a letter with its accents is one.
qsizetype graphemeCount(const QString& text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

// A pixel size as a whole number; a size that is no number shows as 0.
long long wholePixels(qreal value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<long long>(std::clamp(std::trunc(value), -9.0e18, 9.0e18));
}

// Where a text cut after about `length` characters may end: not inside a character as a person
// sees it (a letter and its accents, an emoji).
qsizetype cutAt(QStringView text, qsizetype length)
{
    if (length >= text.size())
        return text.size();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.left(length + 1).toString());
    finder.setPosition(int(length));
    if (finder.isAtBoundary())
        return length;
    const qsizetype previous = finder.toPreviousBoundary();
    return previous > 0 ? previous : length;
}

// The first line of the trimmed text, without reading past it.
QString shownLine(const QString& text, qsizetype length)
{
    qsizetype begin = 0;
    while (begin < text.size() && text.at(begin).isSpace())
        ++begin;
    if (begin == text.size())
        return QStringLiteral("%1 characters of whitespace").arg(graphemeCount(text));
    const qsizetype stop = std::min(text.size(), begin + length);
    qsizetype end = begin;
    while (end < stop && !isLineBreak(text.at(end)))
        ++end;
    if (end == stop && stop < text.size() && !isLineBreak(text.at(stop))) {
        const QStringView line = QStringView(text).mid(begin);
        return line.left(cutAt(line, length)).trimmed().toString() + QStringLiteral("…");
    }
    QString line = text.mid(begin, end - begin);
    // The text's trailing blanks are trimmed away; blanks before a line break that more text
    // follows are the line's own.
    const bool restIsBlank = std::all_of(text.cbegin() + end, text.cend(), [](QChar c) { return c.isSpace(); });
    if (restIsBlank) {
        while (!line.isEmpty() && line.back().isSpace())
            line.chop(1);
    }
    return line;
}

// Paths joined by "|", with "\" and "|" inside a path escaped, so that one file named
// "a|/b" and the two files "a" and "/b" do not share a key.
QString joinedPaths(const QList<QUrl>& urls)
{
    QStringList paths;
    paths.reserve(urls.size());
    for (const QUrl& url : urls) {
        QString path = filePath(url);
        path.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
        path.replace(QLatin1Char('|'), QLatin1String("\\|"));
        paths << path;
    }
    return paths.join(QLatin1Char('|'));
}

} // namespace

ClipboardItem::Payload ClipboardItem::Payload::text(const QString& text)
{
    Payload payload;
    payload.m_value = text;
    payload.derive();
    return payload;
}

ClipboardItem::Payload ClipboardItem::Payload::image(const QByteArray& png, QSizeF pixelSize)
{
    Payload payload;
    payload.m_value = Image { png, pixelSize };
    payload.derive();
    return payload;
}

ClipboardItem::Payload ClipboardItem::Payload::files(const QList<QUrl>& urls)
{
    Payload payload;
    payload.m_value = urls;
    payload.derive();
    return payload;
}

void ClipboardItem::Payload::derive()
{
    m_imageDigest.clear();
    if (const QString* text = asText()) {
        m_byteCount = QStringView(*text).toUtf8().size();
        m_preview = shownLine(*text, shownLineLength);
        m_searchText = text->left(cutAt(*text, searchedLength));
    } else if (const Image* image = asImage()) {
        m_byteCount = image->png.size();
        // The whole image, not a prefix: PNGs of one size share their header bytes.
        m_imageDigest = QCryptographicHash::hash(image->png, QCryptographicHash::Sha256).toHex();
        m_preview = QStringLiteral("Image — %1×%2")
                        .arg(wholePixels(image->pixelSize.width()))
                        .arg(wholePixels(image->pixelSize.height()));
        m_searchText = QStringLiteral("image picture screenshot");
    } else {
        const QList<QUrl>& urls = *asFiles();
        m_byteCount = 0;
        QStringList names;
        for (const QUrl& url : urls) {
            m_byteCount += filePath(url).toUtf8().size();
            if (names.size() < searchedLength)
                names << lastPathComponent(url);
        }
        m_preview = urls.size() == 1 ? names.first() : QStringLiteral("%1 files").arg(urls.size());
        const QString joined = names.join(QLatin1Char(' '));
        m_searchText = joined.left(cutAt(joined, searchedLength));
    }
    m_foldedSearchText = searchFolded(m_searchText);
}

QString ClipboardItem::identity() const
{
    if (const QString* text = payload.asText())
        return QLatin1String("t:") + *text;
    if (const Payload::Image* image = payload.asImage())
        return QStringLiteral("i:%1:%2").arg(image->png.size()).arg(QString::fromLatin1(payload.m_imageDigest));
    return QLatin1String("f:") + joinedPaths(*payload.asFiles());
}

bool ClipboardItem::hasSameContent(const ClipboardItem& other) const
{
    if (const QString* text = payload.asText()) {
        const QString* otherText = other.payload.asText();
        return otherText && *text == *otherText;
    }
    if (const Payload::Image* image = payload.asImage()) {
        const Payload::Image* otherImage = other.payload.asImage();
        return otherImage && image->png.size() == otherImage->png.size()
            && payload.m_imageDigest == other.payload.m_imageDigest;
    }
    return other.payload.asFiles() && identity() == other.identity();
}

QString searchFolded(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        switch (c.category()) {
        case QChar::Mark_NonSpacing:
        case QChar::Mark_SpacingCombining:
        case QChar::Mark_Enclosing:
            break;
        default:
            folded += c;
        }
    }
    return folded.toCaseFolded();
}

bool ClipboardStore::insert(const ClipboardItem& item)
{
    const auto existing = std::find_if(
        m_items.begin(), m_items.end(), [&](const ClipboardItem& entry) { return entry.hasSameContent(item); });
    if (existing == m_items.end()) {
        m_items.prepend(item);
        evict();
        return true;
    }
    ClipboardItem refreshed = *existing;
    m_items.erase(existing);
    refreshed.copiedAt = item.copiedAt;
    if (item.sourceBundleID)
        refreshed.sourceBundleID = item.sourceBundleID;
    m_items.prepend(refreshed);
    evict();
    return false;
}

void ClipboardStore::evict()
{
    // Index of the last unpinned entry, or -1 when every entry is pinned.
    const auto lastUnpinned = [this] {
        for (qsizetype index = m_items.size() - 1; index >= 0; --index) {
            if (!m_items[index].isPinned)
                return index;
        }
        return qsizetype(-1);
    };
    while (m_items.size() > m_limits.maxItems) {
        const qsizetype index = lastUnpinned();
        if (index < 0)
            break;
        m_items.removeAt(index);
    }
    qsizetype total = totalBytes();
    while (total > m_limits.maxBytes) {
        const qsizetype index = lastUnpinned();
        if (index < 0)
            break;
        total -= m_items[index].byteCount();
        m_items.removeAt(index);
    }
}

void ClipboardStore::remove(const QUuid& id)
{
    m_items.removeIf([&](const ClipboardItem& item) { return item.id == id; });
}

void ClipboardStore::clearUnpinned()
{
    m_items.removeIf([](const ClipboardItem& item) { return !item.isPinned; });
}

void ClipboardStore::clearAll()
{
    m_items.clear();
}

void ClipboardStore::togglePin(const QUuid& id)
{
    const auto found
        = std::find_if(m_items.begin(), m_items.end(), [&](const ClipboardItem& item) { return item.id == id; });
    if (found == m_items.end())
        return;
    found->isPinned = !found->isPinned;
    std::stable_sort(m_items.begin(), m_items.end(), [](const ClipboardItem& a, const ClipboardItem& b) {
        if (a.isPinned != b.isPinned)
            return a.isPinned;
        return a.copiedAt > b.copiedAt;
    });
}

QList<ClipboardItem> ClipboardStore::filtered(const QString& query) const
{
    const QString trimmed = query.trimmed();
    if (trimmed.isEmpty())
        return m_items;
    const QString needle = searchFolded(trimmed);
    QList<ClipboardItem> matches;
    for (const ClipboardItem& item : m_items) {
        if (item.foldedSearchText().contains(needle))
            matches << item;
    }
    return matches;
}

qsizetype ClipboardStore::totalBytes() const
{
    qsizetype total = 0;
    for (const ClipboardItem& item : m_items)
        total += item.byteCount();
    return total;
}

} // namespace nimbra
