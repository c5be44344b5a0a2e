#pragma once
// Every message box of both programs goes through here, so that tests can
// take the boxes instead of blocking on a modal dialog.

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>

class QWidget;

struct ShownBox {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
    QPointer<QWidget> owner; // null for a box owned by no window
};

class Notifier {
public:
    // Shows a modal box with an OK button and waits for it to be closed.
    static void information(QWidget* owner, const QString& caption, const QString& text);
    static void error(QWidget* owner, const QString& caption, const QString& text);

    // The default error box: the message with the full-stop rule applied,
    // the application display name as caption, error icon, OK.
    static void defaultError(const QString& message);

    // Test seam: while recording, boxes are appended to a list instead of
    // being shown, and the calls return at once as if OK had been pressed.
    static void setRecording(bool on);
    static bool isRecording();
    static QList<ShownBox> takeShown();

    // Process-level test seam: when the environment variable
    // QUORVEL_MESSAGE_LOG names a file, every box is appended to it as one
    // line "<icon>\t<caption>\t<text>" (icon "information" or "error")
    // and answered at once instead of being shown.

private:
    static void show(QMessageBox::Icon icon, QWidget* owner, const QString& caption,
                     const QString& text);
};
