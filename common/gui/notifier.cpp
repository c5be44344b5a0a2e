#include "notifier.h"

#include "text.h"

#include <QApplication>
#include <QFile>

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
    const QString logPath = qEnvironmentVariable("QUORVEL_MESSAGE_LOG");
    if (!logPath.isEmpty()) {
        QFile log(logPath);
        if (log.open(QIODevice::Append | QIODevice::WriteOnly)) {
            const char* kind = icon == QMessageBox::Critical ? "error" : "information";
            log.write(QStringLiteral("%1\t%2\t%3\n").arg(kind, caption, text).toUtf8());
        }
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}
