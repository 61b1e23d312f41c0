#include "UpdateDialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace ombrix {

QMessageBox* presentUpdateOutcome(const UpdateOutcome& outcome) {
    static QPointer<QMessageBox> current;
    if (current) {
        current->close();
    }
    const UpdateMessage message = describe(outcome, QCoreApplication::applicationName());
    auto* box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->setWindowTitle(message.title);
    box->setTextFormat(Qt::PlainText);
    box->setText(message.title);
    box->setInformativeText(message.text);
    // The informative label guesses rich text on its own; feed texts are never markup.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
    }
    box->setIcon(outcome.kind == UpdateOutcome::Kind::Failed ? QMessageBox::Warning
                                                             : QMessageBox::Information);
    if (!message.link.isEmpty()) {
        QAbstractButton* open =
            box->addButton(QStringLiteral("Open Download Page"), QMessageBox::AcceptRole);
        const QUrl link = message.link;
        QObject::connect(open, &QAbstractButton::clicked, box,
                         [link] { QDesktopServices::openUrl(link); });
    }
    box->addButton(QMessageBox::Close);
    box->show();
    box->raise();
    box->activateWindow();
    current = box;
    return box;
}

} // namespace ombrix
