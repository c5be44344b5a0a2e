#pragma once
// TfrmWord: the dictionary's only window. Search box and button, the list
// pane and the detail pane, the status bar clock, the query q_word, the
// application-wide input filter and the copy menu. The rules live in the
// Qt-free modules (idiom_store, entry_html, uRC4, input_filter, text); the
// window wires its widgets to them.

#include "idiom_store.h"

#include <QDateTime>
#include <QObject>
#include <QWidget>
#include <string>

class HtmlPane;
class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class QUrl;

class TfrmWord;

// The application message hook: one event filter on the whole application,
// handing every event to the window before it is delivered.
class TApplicationEvents : public QObject {
    Q_OBJECT
public:
    explicit TApplicationEvents(TfrmWord* owner);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TfrmWord* owner_;
};

class TfrmWord : public QWidget {
    Q_OBJECT
public:
    // `appFolder` ends with a path separator and is where "data.dll" lives.
    explicit TfrmWord(const std::string& appFolder, QWidget* parent = nullptr);
    ~TfrmWord() override;

    // The clock text of status panel 2 at `now`.
    static QString clockText(const QDateTime& now);

    // Text of status panel 0..3.
    QString statusPanelText(int index) const;

    // Components, under the names they carry as objectName too.
    QFrame* Panel1;
    QLabel* Image2;
    QStatusBar* StatusBar1;
    QFrame* Panel2;
    QLabel* Label3;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;
    HtmlPane* WebBrowser1;
    HtmlPane* WebBrowser2;
    IdiomQuery q_word;
    TApplicationEvents* ApplicationEvents1;
    QTimer* Timer1;
    QMenu* PopupMenu1;
    QAction* N1;

    // Handlers, public so that tests can reach each one directly too.
    void FormCreate();
    void FormDestroy();
    void WebBrowser1DocumentComplete();
    void WebBrowser2DocumentComplete();
    void Timer1Timer();
    void BitBtn1Click();
    void Edit1KeyPress(char& key);
    void WebBrowser1BeforeNavigate2(HtmlPane* sender, const QUrl& url, bool& cancel);
    bool ApplicationEvents1Message(QObject* target, QEvent* event);
    void N1Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowResultList();
    void ShowEntryDetail(const std::string& id);

    std::string appFolder_;
    QLabel* statusPanels_[4];
};
