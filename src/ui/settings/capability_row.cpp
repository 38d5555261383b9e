#include "ui/settings/capability_row.h"

#include "ui/settings/settings_blocks.h"
#include "ui/settings/settings_style.h"
#include "ui/surface/symbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace nimbra {

using namespace settings_style;

// The status mark, 16 wide, level with the title: green when available, else secondary.
class CapabilityRow::Mark : public QWidget {
public:
    explicit Mark(Status::Kind kind)
        : m_kind(kind)
    {
        setFixedSize(16, 16);
    }
    void setKind(Status::Kind kind)
    {
        m_kind = kind;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor ink = m_kind == Status::Kind::available ? green(palette()) : secondary(palette());
        symbols::draw(p, symbol(m_kind), QRectF(rect()), 13, ink);
    }

private:
    Status::Kind m_kind;
};

CapabilityRow::CapabilityRow(const QString& title, Status status, std::optional<QString> reading, QWidget* parent)
    : QWidget(parent)
    , m_status(std::move(status))
    , m_reading(std::move(reading))
    , m_mark(new Mark(m_status.kind))
    , m_title(label(title, TextStyle::body, Tone::primary, QFont::Medium))
    , m_explanation(label(m_status.explanation, TextStyle::callout, Tone::secondary, QFont::Normal, true))
{
    auto* line = new QHBoxLayout(this);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(11);
    line->addWidget(m_mark, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(m_title);
    texts->addWidget(m_explanation);
    line->addLayout(texts, 1);
    if (m_reading) {
        QLabel* value = label(*m_reading, TextStyle::callout, Tone::secondary);
        value->setAccessibleName(title);
        line->addWidget(value, 0, Qt::AlignTop);
    }
    setAccessibleName(title);
    setAccessibleDescription(m_status.explanation);
}

void CapabilityRow::setStatus(Status status)
{
    if (status == m_status)
        return;
    m_status = std::move(status);
    m_mark->setKind(m_status.kind);
    m_explanation->setText(m_status.explanation);
    setAccessibleDescription(m_status.explanation);
}

QString CapabilityRow::title() const
{
    return m_title->text();
}

QString CapabilityRow::explanation() const
{
    return m_explanation->text();
}

QString CapabilityRow::symbol(Status::Kind kind)
{
    return kind == Status::Kind::available ? QStringLiteral("checkmark.circle.fill")
                                           : QStringLiteral("minus.circle.fill");
}

} // namespace nimbra
