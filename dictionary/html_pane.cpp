#include "html_pane.h"

#include "application.h"

#include <QPointer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineSettings>

namespace {

constexpr auto kBlankHost = "pane.invalid";

// The blank document. Its URL and its base differ in the path, which turns
// every "#..." link into a navigation to another document.
QString blankDocument() {
    return QStringLiteral("<html><head><base href=\"http://%1/entry\"></head><body></body></html>")
        .arg(QLatin1String(kBlankHost));
}

// `s` as a JavaScript string literal.
QString jsString(const QString& s) {
    QString out;
    out.reserve(s.size() + s.size() / 8 + 2);
    out += u'"';
    for (const QChar c : s) {
        switch (c.unicode()) {
        case u'"':
            out += QLatin1String("\\\"");
            break;
        case u'\\':
            out += QLatin1String("\\\\");
            break;
        case u'\n':
            out += QLatin1String("\\n");
            break;
        case u'\r':
            out += QLatin1String("\\r");
            break;
        case 0x2028:
            out += QLatin1String("\\u2028");
            break;
        case 0x2029:
            out += QLatin1String("\\u2029");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QChar(u'0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

} // namespace

class HtmlPane::Page : public QWebEnginePage {
public:
    explicit Page(HtmlPane* pane) : QWebEnginePage(pane), pane_(pane) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        // The pane's own blank page arrives as a data: URL; content cannot
        // open one in a top-level frame.
        if (url.scheme() == QLatin1String("data"))
            return true;
        bool cancel = false;
        runGuarded([&] { emit pane_->navigationRequested(url, &cancel); });
        return !cancel;
    }

private:
    HtmlPane* pane_;
};

HtmlPane::HtmlPane(QWidget* parent) : QWebEngineView(parent) {
    auto* page = new Page(this);
    QWebEngineSettings* s = page->settings();
    s->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    s->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    s->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    setPage(page);
    setContextMenuPolicy(Qt::NoContextMenu);
    connect(page, &QWebEnginePage::loadingChanged, this, &HtmlPane::onLoadingChanged);
}

QString HtmlPane::blankHost() {
    return QLatin1String(kBlankHost);
}

void HtmlPane::loadUrl(const QString& url) {
    hasDocument_ = true;
    if (url == QLatin1String("about:blank")) {
        loadingOwnPage_ = true;
        page()->setHtml(blankDocument(), QUrl(QStringLiteral("http://%1/").arg(blankHost())));
    } else {
        page()->load(QUrl(url));
    }
}

void HtmlPane::onLoadingChanged(const QWebEngineLoadingInfo& info) {
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadSucceededStatus:
        onLoadFinished(true, {});
        break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
    case QWebEngineLoadingInfo::LoadStoppedStatus:
        // A failed load shows the engine's error page in place of the old
        // document: that is a new document all the same.
        onLoadFinished(info.isErrorPage(), info.url());
        break;
    case QWebEngineLoadingInfo::LoadStartedStatus:
        break;
    }
}

void HtmlPane::onLoadFinished(bool newDocument, const QUrl& url) {
    // Work asked for while the page was loading is meant for the loaded
    // document, so it follows whatever the completion handlers do to it.
    const QStringList waiting = std::exchange(queued_, {});
    const bool ownPage = std::exchange(loadingOwnPage_, false);
    // A page the pane was let through to: give it a base that differs from
    // its own URL only in an empty query, so that its "#..." links, which
    // the engine would follow inside the document unreported, are reported
    // like those of the blank page, while relative links resolve as before.
    // An error page stands at an address of the engine's own: it gets the
    // address that failed, `url`.
    if (newDocument && !ownPage)
        runDom(QStringLiteral("if(document.querySelector('base[href]'))return;"
                              "var u=%1||location.href.split('#')[0];"
                              "var b=document.createElement('base');"
                              "b.href=u+(u.indexOf('?')<0?'?':'&');"
                              "(document.head||document.documentElement).prepend(b);")
                   .arg(jsString(url.toString(QUrl::RemoveFragment | QUrl::FullyEncoded))));
    // A navigation cancelled by navigationRequested also ends here, unsuccessful
    // and with the old document still in place: that is no new document.
    if (newDocument)
        emit documentComplete();
    queued_ += waiting;
    flush();
}

void HtmlPane::setBodyInnerHtml(const QString& html) {
    runDom(QStringLiteral("document.body.innerHTML=%1;").arg(jsString(html)));
}

void HtmlPane::setBodyMargins(int top, int left, int bottom, int right) {
    runDom(QStringLiteral("var s=document.body.style;s.marginTop='%1px';s.marginLeft='%2px';"
                          "s.marginBottom='%3px';s.marginRight='%4px';")
               .arg(top)
               .arg(left)
               .arg(bottom)
               .arg(right));
}

void HtmlPane::setBodyScroll(const QString& value) {
    // The engine ignores the scroll attribute; the body's overflow, which
    // propagates to the viewport, does the same job.
    QString overflow = QStringLiteral("s.overflow='';");
    if (value.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
        overflow = QStringLiteral("s.overflow='hidden';");
    else if (value.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
        overflow = QStringLiteral("s.overflowX='auto';s.overflowY='scroll';");
    runDom(QStringLiteral("var b=document.body;b.setAttribute('scroll',%1);var s=b.style;%2")
               .arg(jsString(value), overflow));
}

QString HtmlPane::selectionText() const {
    if (!hasDocument_)
        return {};
    return page()->selectedText();
}

bool HtmlPane::isBusy() const {
    return loadingOwnPage_ || inFlight_ > 0 || !queued_.isEmpty();
}

void HtmlPane::runDom(const QString& script) {
    if (!hasDocument_)
        return;
    // A document without a body (not one of ours) is left alone.
    queued_.append(QStringLiteral("(function(){if(!document.body)return;%1})();").arg(script));
    flush();
}

void HtmlPane::flush() {
    if (loadingOwnPage_)
        return;
    const QStringList scripts = std::exchange(queued_, {});
    for (const QString& script : scripts) {
        ++inFlight_;
        QPointer<HtmlPane> self(this);
        page()->runJavaScript(script, QWebEngineScript::ApplicationWorld, [self](const QVariant&) {
            if (self)
                self->finishOne();
        });
    }
}

void HtmlPane::finishOne() {
    if (--inFlight_ == 0 && queued_.isEmpty() && !loadingOwnPage_)
        emit domIdle();
}
