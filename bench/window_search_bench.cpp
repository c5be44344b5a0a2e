// window_search_bench <data.dll> [repeats]: in the real window, offscreen,
// the time from the search action for 一 to the list pane's document holding
// every item (the pane has run all queued DOM work), against the floor: the
// same list document handed straight to the pane, in turns with the search.
// Prints the medians in milliseconds (goal: at most 50 ms) and their ratio.
//
// Run with QT_QPA_PLATFORM=offscreen; as root also QTWEBENGINE_DISABLE_SANDBOX=1
// and QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu.

#include "application.h"
#include "entry_html.h"
#include "html_pane.h"
#include "idiom_store.h"
#include "notifier.h"
#include "ufrmWord.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// Runs the event loop until `done` or `ms` passed; returns `done()`.
template <typename F> bool waitFor(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

int itemCount(HtmlPane* pane) {
    int count = -1;
    pane->page()->runJavaScript(QStringLiteral("document.querySelectorAll('a').length"),
                                QWebEngineScript::ApplicationWorld,
                                [&](const QVariant& v) { count = v.toInt(); });
    waitFor([&] { return count >= 0; }, 10000);
    return count;
}

} // namespace

int main(int argc, char** argv) {
    Application app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Verlune"));
    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: window_search_bench <data.dll> [repeats]\n");
        return 2;
    }
    const int repeats = args.size() > 2 ? std::max(1, args[2].toInt()) : 15;

    // The window reads "data.dll" from its folder: give it a copy in one.
    QTemporaryDir folder;
    if (!folder.isValid() || !QFile::copy(args[1], folder.filePath(QStringLiteral("data.dll")))) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(args[1]));
        return 1;
    }
    Notifier::setRecording(true);
    TfrmWord window(QDir::toNativeSeparators(folder.path()).toStdString() + "/");
    window.show();
    HtmlPane* list = window.WebBrowser1;
    if (!waitFor([&] { return !list->isBusy() && !window.WebBrowser2->isBusy(); }, 30000) ||
        !Notifier::takeShown().isEmpty()) {
        std::fprintf(stderr, "the window did not start connected\n");
        return 1;
    }

    // The floor's document: what the search puts into the pane.
    IdiomQuery query;
    query.setConnectionText(folder.filePath(QStringLiteral("data.dll")).toStdString());
    SearchWords(query, "一");
    std::string document;
    for (; !query.eof(); query.next())
        entry_html::appendListItem(document, query.fieldAsText("ID"), query.fieldAsText("WORD"),
                                   "一");
    const QString listDocument = QString::fromStdString(document);

    std::vector<double> times, floorTimes;
    int items = 0;
    for (int i = 0; i <= repeats; ++i) {
        list->setBodyInnerHtml(QString());
        waitFor([&] { return !list->isBusy(); }, 10000);
        QElapsedTimer floorTimer;
        floorTimer.start();
        list->setBodyInnerHtml(listDocument);
        list->setBodyMargins(5, 0, 5, 0);
        list->setBodyScroll(QStringLiteral("yes"));
        if (!waitFor([&] { return !list->isBusy(); }, 10000)) {
            std::fprintf(stderr, "the list pane did not finish\n");
            return 1;
        }
        if (i > 0)
            floorTimes.push_back(floorTimer.nsecsElapsed() / 1e6);

        // An empty list in between, so that every run replaces a short document.
        window.Edit1->setText(QStringLiteral("不存在的词"));
        window.BitBtn1Click();
        waitFor([&] { return !list->isBusy(); }, 10000);

        window.Edit1->setText(QStringLiteral("一"));
        QElapsedTimer timer;
        timer.start();
        window.BitBtn1Click();
        if (!waitFor([&] { return !list->isBusy(); }, 10000)) {
            std::fprintf(stderr, "the list pane did not finish\n");
            return 1;
        }
        const double ms = timer.nsecsElapsed() / 1e6;
        items = itemCount(list);
        if (i > 0) // the first run warms the renderer up
            times.push_back(ms);
    }
    if (!Notifier::takeShown().isEmpty()) {
        std::fprintf(stderr, "an error box was shown\n");
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::sort(floorTimes.begin(), floorTimes.end());
    const double median = times[times.size() / 2];
    const double floorMedian = floorTimes[floorTimes.size() / 2];
    std::printf(
        "window search for 一: %d items, median %.1f ms (min %.1f, max %.1f) over %d runs\n", items,
        median, times.front(), times.back(), static_cast<int>(times.size()));
    std::printf("the same document set straight into the pane: median %.1f ms; ratio %.2f\n",
                floorMedian, median / floorMedian);
    return 0;
}
