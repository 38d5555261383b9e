#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <optional>
#include <variant>

namespace nimbra {

// One captured clipboard entry.
struct ClipboardItem {
    // What was copied: a text, an image as PNG bytes with its pixel size, or file URLs in
    // clipboard order. Built through the factories so that what is derived from it (sizes, the
    // image digest, the shown line and the search text) is worked out once, at capture, not on
    // every comparison, frame or key.
    class Payload {
    public:
        struct Image {
            QByteArray png;
            QSizeF pixelSize;
            friend bool operator==(const Image&, const Image&) = default;
        };

        // The shown line ends after this many characters (with "…"), and a search looks at
        // this many characters of a text, however long it is: the full text stays for pasting.
        static constexpr qsizetype shownLineLength = 256;
        static constexpr qsizetype searchedLength = 10000;

        Payload() { derive(); } // an empty text

        static Payload text(const QString& text);
        static Payload image(const QByteArray& png, QSizeF pixelSize);
        static Payload files(const QList<QUrl>& urls);

        const QString* asText() const { return std::get_if<QString>(&m_value); }
        const Image* asImage() const { return std::get_if<Image>(&m_value); }
        const QList<QUrl>* asFiles() const { return std::get_if<QList<QUrl>>(&m_value); }

        friend bool operator==(const Payload& a, const Payload& b) { return a.m_value == b.m_value; }

    private:
        friend struct ClipboardItem;

        void derive();

        std::variant<QString, Image, QList<QUrl>> m_value;
        qsizetype m_byteCount = 0;
        QByteArray m_imageDigest;
        QString m_preview;
        QString m_searchText;
        QString m_foldedSearchText;
    };

    QUuid id;
    Payload payload;
    std::optional<QString> sourceBundleID;
    QDateTime copiedAt;
    bool isPinned = false;

    // The de-duplication key: "t:<text>", "i:<bytes>:<digest of all the PNG data>" or
    // "f:<paths joined by |>".
    QString identity() const;
    // Text: UTF-8 bytes; image: PNG bytes; files: UTF-8 bytes of their paths.
    qsizetype byteCount() const { return payload.m_byteCount; }
    // One line for the list, at most Payload::shownLineLength characters and "…".
    const QString& preview() const { return payload.m_preview; }
    // What the search looks in: at most Payload::searchedLength characters.
    const QString& searchText() const { return payload.m_searchText; }
    // The search text as searchFolded() gives it.
    const QString& foldedSearchText() const { return payload.m_foldedSearchText; }
    bool isText() const { return payload.asText() != nullptr; }

    // Same content as `other`, by the identity rule, without building the keys.
    bool hasSameContent(const ClipboardItem& other) const;

    friend bool operator==(const ClipboardItem&, const ClipboardItem&) = default;
};

// The history, newest first, within an item limit and a byte budget. Pinned entries are
// never evicted, so pinned entries alone may keep it above either limit.
class ClipboardStore {
public:
    struct Limits {
        qsizetype maxItems = 100;
        qsizetype maxBytes = 201326592;
        friend bool operator==(const Limits&, const Limits&) = default;
    };

    explicit ClipboardStore(Limits limits)
        : m_limits(limits)
    {
    }

    const QList<ClipboardItem>& items() const { return m_items; }
    Limits limits() const { return m_limits; }
    // Takes effect on the next insert.
    void setLimits(Limits limits) { m_limits = limits; }

    // Puts the item at the front, or moves the entry with the same content there (it keeps
    // its id, payload and pin, takes the new time and a known source). Then evicts. True
    // when a new entry was added.
    bool insert(const ClipboardItem& item);
    void remove(const QUuid& id);
    void clearUnpinned();
    void clearAll();
    // Flips the pin of the first entry with that id, then orders pinned first, newest first.
    void togglePin(const QUuid& id);
    // The entries whose search text holds the trimmed query, ignoring case and diacritics.
    QList<ClipboardItem> filtered(const QString& query) const;
    qsizetype totalBytes() const;

    friend bool operator==(const ClipboardStore&, const ClipboardStore&) = default;

private:
    void evict();

    QList<ClipboardItem> m_items;
    Limits m_limits;
};

// Case- and diacritic-free form of a text for searching: decomposed, combining marks
// dropped, case folded.
QString searchFolded(const QString& text);

} // namespace nimbra
