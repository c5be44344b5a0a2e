#include "notifier.h"

#include "text.h"

#include <QApplication>

namespace {
bool recording = false;
QList<ShownBox> shown;
} // namespace

void Notifier::information(QWidget* owner, const QString& caption, const QString& text) {
    show(QMessageBox::Information, owner, caption, text);
}

void Notifier::error(QWidget* owner, const QString& caption, const QString& text) {
    show(QMessageBox::Critical, owner, caption, text);
}

void Notifier::defaultError(const QString& message) {
    const std::string msg = text::errorBoxMessage(message.toStdString());
    show(QMessageBox::Critical, QApplication::activeWindow(), QApplication::applicationDisplayName(),
         QString::fromStdString(msg));
}

void Notifier::setRecording(bool on) {
    recording = on;
    shown.clear();
}

bool Notifier::isRecording() { return recording; }

QList<ShownBox> Notifier::takeShown() {
    QList<ShownBox> out;
    out.swap(shown);
    return out;
}

void Notifier::show(QMessageBox::Icon icon, QWidget* owner, const QString& caption,
                    const QString& text) {
    if (recording) {
        shown.append(ShownBox{icon, caption, text, owner});
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}
