#pragma once
// An HTML pane: a web view reduced to the few document operations the window
// needs, with a cancellable navigation request for every link followed and a
// completion event. Scripts in content never run; the pane drives the DOM
// from an isolated script world that content cannot reach.
//
// DOM operations are asynchronous in the web engine. The pane queues them and
// hands them over strictly in call order, after any blank page that it is
// still loading, so "set inner HTML, then margins, then scroll" lands in that
// order. isBusy() and the domIdle() signal tell when the queued work is done.
//
// Until load() has been called the pane holds no document: DOM operations are
// dropped and the selection reads empty.

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWebEngineView>

class QWebEngineLoadingInfo;

class HtmlPane : public QWebEngineView {
    Q_OBJECT
public:
    explicit HtmlPane(QWidget* parent = nullptr);

    // "about:blank" gives an empty document whose links are all reported by
    // navigationRequested (same-document "#..." links included); any other URL
    // is loaded as it is, and its "#..." links are reported too unless the
    // page sets a base of its own.
    void loadUrl(const QString& url);
    bool hasDocument() const { return hasDocument_; }

    void setBodyInnerHtml(const QString& html);
    void setBodyMargins(int top, int left, int bottom, int right);
    // "yes": always a vertical scroll bar; "no": none at all.
    void setBodyScroll(const QString& value);

    // The text of the current selection, as the engine last reported it.
    QString selectionText() const;

    // Loading a page asked for by loadUrl(), or DOM work not yet finished.
    bool isBusy() const;

    // The host of the blank page. Links in it resolve against another path
    // of this host, so even "#..." links are full navigations that the pane
    // can report (the engine does not report fragment-only ones).
    static QString blankHost();

signals:
    // Emitted synchronously for every navigation the pane is about to make,
    // except its own blank page. Set *cancel to keep the current document.
    void navigationRequested(const QUrl& url, bool* cancel);
    void documentComplete();
    void domIdle();

private:
    void runDom(const QString& script);
    void flush();
    void finishOne();
    void onLoadingChanged(const QWebEngineLoadingInfo& info);
    void onLoadFinished(bool newDocument, const QUrl& url);

    class Page;
    friend class Page;

    bool hasDocument_ = false;
    bool loadingOwnPage_ = false;
    int inFlight_ = 0;
    QStringList queued_;
};
