#pragma once

#include "ui/settings/keyboard_status.h"

#include <QAbstractButton>
#include <QString>
#include <QUrl>
#include <optional>
#include <vector>

class QPainter;
class QVBoxLayout;

namespace nimbra {

class SettingsView;

// The about page: what Nimbra is and which version, the automatic update check, who made it
// (when the build says so), a short diagnosis (displays, key takeover, signature), the reset of
// the main settings and the way to quit.
void aboutPage(SettingsView& view, QVBoxLayout& column);

// The two profile sites a maker may link to, each with a mark drawn here.
enum class BrandMark { github, linkedIn };
QString title(BrandMark mark);
// The mark as a fillable outline in `box` (a square): a round badge with a cat's head cut out,
// and a rounded square with the letters "in" cut out.
void paintBrandMark(QPainter& painter, BrandMark mark, const QRectF& box, const QColor& colour);

// Who made this build, from the build's configuration. Only what is set and well-formed is
// shown: a profile link must be an https (or http) address with a host, an e-mail address must
// hold one "@" with text on both sides.
struct MakerInfo {
    QString name;
    QString email;
    std::vector<std::pair<BrandMark, QUrl>> links;

    static MakerInfo configured();
    static MakerInfo from(const QString& name, const QString& email, const QString& github, const QString& linkedIn);

    bool isEmpty() const { return name.isEmpty() && email.isEmpty() && links.empty(); }
    // The first letters of the name's first two words, in capitals ("AB"); empty without a name.
    QString monogram() const;
    std::optional<QUrl> mailto() const;
};

// "Built by", the maker's monogram, name, profile links and address, and a button that writes
// to them; each part only when it is set.
QWidget* makerBlock(const MakerInfo& maker);

// A small mark that opens a profile page: secondary while the pointer is away, primary on it.
class BrandLink : public QAbstractButton {
    Q_OBJECT
public:
    BrandLink(BrandMark mark, QUrl url, int size, QWidget* parent = nullptr);

    BrandMark mark() const { return m_mark; }
    const QUrl& url() const { return m_url; }
    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override { return { m_size, m_size }; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    BrandMark m_mark;
    QUrl m_url;
    int m_size;
    bool m_hovering = false;
};

// The texts of the about page.
struct AboutTexts {
    static QString version(); // "Version 0.1.0"
    // An ELF program carries no code signature.
    static QString signature() { return QStringLiteral("Unsigned"); }
    static QString displays(const QString& summary); // "None detected" when empty
    // "Not available", the media keys another program holds, "Media keys taken" or "Available".
    static QString keyTakeover(bool available, const KeyboardStatus& keys = {});
};

} // namespace nimbra
