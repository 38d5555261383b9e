#include "app/alerts.h"

#include "ui/settings/window_presenter.h"

#include <QLabel>
#include <QPushButton>

namespace nimbra {

QMessageBox* showAlert(QMessageBox::Icon icon, const QString& message, const QString& informative,
    const QStringList& buttons, std::function<void(int)> onAnswer, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("NimbraAlert"));
    box->setWindowTitle(QStringLiteral("Nimbra"));
    box->setIcon(icon);
    box->setText(message);
    box->setInformativeText(informative);
    box->setTextFormat(Qt::PlainText);
    // The box's text format reaches its main text only: the informative label guesses rich
    // text and opens links itself. Text from outside (a feed's notes, an error) stays plain.
    for (QLabel* label : box->findChildren<QLabel*>()) {
        if (!informative.isEmpty() && label->text() == informative) {
            label->setTextFormat(Qt::PlainText);
            label->setOpenExternalLinks(false);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        }
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::NonModal);
    QList<QPushButton*> pushButtons;
    for (qsizetype i = 0; i < buttons.size(); ++i) {
        // The first is the answer Return gives; the last the one Escape and closing give.
        const auto role = i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole;
        pushButtons.append(box->addButton(buttons[i], role));
    }
    if (!pushButtons.isEmpty()) {
        box->setDefaultButton(pushButtons.first());
        box->setEscapeButton(pushButtons.last());
    }
    QObject::connect(box, &QMessageBox::finished, box, [box, pushButtons, onAnswer] {
        if (!onAnswer)
            return;
        const qsizetype index = pushButtons.indexOf(qobject_cast<QPushButton*>(box->clickedButton()));
        onAnswer(int(index < 0 ? pushButtons.size() - 1 : index));
    });
    window_presenter::present(box);
    return box;
}

} // namespace nimbra
