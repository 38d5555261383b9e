#pragma once

#include <QString>
#include <QWidget>
#include <optional>

class QLabel;

namespace nimbra {

// One line that tells whether a capability works on this machine: a status mark, the title
// over its explanation, and, where there is one, a reading at the trailing end. There is no
// button: nothing here can be granted from inside Nimbra, so none is offered.
class CapabilityRow : public QWidget {
    Q_OBJECT
public:
    struct Status {
        enum class Kind { available, unavailable };
        Kind kind;
        QString explanation;

        static Status available(QString explanation) { return { Kind::available, std::move(explanation) }; }
        static Status unavailable(QString explanation) { return { Kind::unavailable, std::move(explanation) }; }
        bool isAvailable() const { return kind == Kind::available; }
        friend bool operator==(const Status&, const Status&) = default;
    };

    CapabilityRow(
        const QString& title, Status status, std::optional<QString> reading = std::nullopt, QWidget* parent = nullptr);

    const Status& status() const { return m_status; }
    void setStatus(Status status);
    const std::optional<QString>& reading() const { return m_reading; }
    QString title() const;
    QString explanation() const;

    // "checkmark.circle.fill" when available, else "minus.circle.fill".
    static QString symbol(Status::Kind kind);

private:
    class Mark;
    Status m_status;
    std::optional<QString> m_reading;
    Mark* m_mark;
    QLabel* m_title;
    QLabel* m_explanation;
};

} // namespace nimbra
