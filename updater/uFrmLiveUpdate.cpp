#include "uFrmLiveUpdate.h"

#include "application.h"
#include "download.h"
#include "notifier.h"
#include "update_server.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScreen>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>

#include <algorithm>
#include <chrono>
#include <climits>

namespace {

// Layout in logical pixels at 96 dpi; Qt scales them with the display.
constexpr QSize kOuterSize(446, 296);

int clampToInt(std::int64_t v) {
    return static_cast<int>(std::clamp<std::int64_t>(v, 0, INT_MAX));
}

QString fromUtf8(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

TFrmLiveUpdate::TFrmLiveUpdate(std::string appPath, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      appPath_(std::move(appPath)) {
    setObjectName(QStringLiteral("FrmLiveUpdate"));
    setWindowTitle(QStringLiteral("Tavrin-在线升级"));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    QFont f;
    f.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                   QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                   QStringLiteral("WenQuanYi Zen Hei")});
    f.setPixelSize(16);
    setFont(f);

    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(3, 8, 428, 17);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setObjectName(QStringLiteral("MemoLog"));
    MemoLog->setGeometry(2, 31, 430, 218);
    MemoLog->setReadOnly(true);
    MemoLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    // Until the frame is known, assume none; showEvent corrects the size so
    // that the outer size is right.
    resize(kOuterSize);

    IdHttpObj.setConnectTimeout(std::chrono::seconds(120));
    IdHttpObj.setReadTimeout(std::chrono::milliseconds(0));
    IdHttpObj.pump = [this] { IdAntiFreeze1(); };
    IdHttpObj.onWorkBegin = [this](std::int64_t expected) { IdHttpObjWorkBegin(expected); };
    IdHttpObj.onWork = [this](std::int64_t count) { IdHttpObjWork(count); };
    IdHttpObj.onWorkEnd = [this] { IdHttpObjWorkEnd(); };
}

TFrmLiveUpdate::~TFrmLiveUpdate() = default;

void TFrmLiveUpdate::placeOnScreen() {
    const QSize frame = frameGeometry().size() - geometry().size();
    resize(kOuterSize - frame);
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen()) {
        QRect outer(QPoint(0, 0), kOuterSize);
        outer.moveCenter(s->availableGeometry().center());
        move(outer.topLeft());
    }
}

bool TFrmLiveUpdate::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        QMetaObject::invokeMethod(this, &TFrmLiveUpdate::FormActivate, Qt::QueuedConnection);
    return QWidget::event(e);
}

void TFrmLiveUpdate::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (!placed_) {
        placed_ = true;
        placeOnScreen();
    }
    // Not every desktop hands a newly started window the focus; the run
    // must not wait for it. Queued, so that it runs inside the event loop.
    QMetaObject::invokeMethod(this, &TFrmLiveUpdate::FormActivate, Qt::QueuedConnection);
}

void TFrmLiveUpdate::closeEvent(QCloseEvent* e) {
    if (running_) {
        // The run goes on to its end; the program ends with it.
        closeRequested_ = true;
        e->ignore();
        return;
    }
    e->accept();
}

void TFrmLiveUpdate::FormActivate() {
    if (activated_)
        return;
    activated_ = true;
    running_ = true;
    // The run broke off with an error: the default error box first, then
    // the window stays, idle. A close asked for meanwhile waits for the box
    // to be answered; carried out earlier, it would end the program and
    // take the box down with it.
    if (!runGuarded([this] { RunUpdate(); })) {
        running_ = false;
        if (closeRequested_)
            close();
    }
}

void TFrmLiveUpdate::RunUpdate() {
    update_run::run(*this, appPath_, update_server::url(update_server::kManifestPath));
    endProgram();
}

void TFrmLiveUpdate::endProgram() {
    running_ = false;
    ended_ = true;
    emit programEnded();
    close();
    QCoreApplication::quit();
}

bool TFrmLiveUpdate::LoadManifest(const std::string& url) {
    XMLDoc = update_run::LoadManifest(IdHttpObj, url);
    return XMLDoc.has_value();
}

bool TFrmLiveUpdate::DownloadFile(const std::string& url, const std::string& targetFile) {
    return download::DownloadFile(IdHttpObj, appPath_, url, targetFile);
}

bool TFrmLiveUpdate::ForceFolders(const std::string& path) {
    return download::ForceFolders(path);
}

void TFrmLiveUpdate::IdAntiFreeze1() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Maximum 0 with minimum 0 is Qt's "busy" bar: a reply without announced
// length shows as busy, while maximum() still reads 0.
void TFrmLiveUpdate::IdHttpObjWorkBegin(std::int64_t expectedSize) {
    ProgressBar1->setMaximum(clampToInt(expectedSize));
    ProgressBar1->setValue(0);
}

void TFrmLiveUpdate::IdHttpObjWork(std::int64_t count) {
    ProgressBar1->setValue(clampToInt(count));
}

void TFrmLiveUpdate::IdHttpObjWorkEnd() {
    ProgressBar1->setValue(ProgressBar1->maximum());
}

std::optional<manifest::Document> TFrmLiveUpdate::loadManifest(const std::string& url) {
    if (!LoadManifest(url))
        return std::nullopt;
    return XMLDoc;
}

void TFrmLiveUpdate::resetProgress() {
    ProgressBar1->setValue(0);
}

void TFrmLiveUpdate::addLogLine(const std::string& line) {
    MemoLog->appendPlainText(fromUtf8(line));
}

void TFrmLiveUpdate::appendToLastLogLine(const std::string& text) {
    QTextCursor c(MemoLog->document()->lastBlock());
    c.movePosition(QTextCursor::EndOfBlock);
    c.insertText(fromUtf8(text));
}

bool TFrmLiveUpdate::downloadFile(const std::string& url, const std::string& targetFile) {
    return DownloadFile(url, targetFile);
}

void TFrmLiveUpdate::startRunFile(const std::string& path) {
    update_run::startRunFile(path);
}

void TFrmLiveUpdate::showFailureNotice() {
    Notifier::error(nullptr, fromUtf8(std::string(update_run::kNoticeCaption)),
                    fromUtf8(std::string(update_run::kNoticeText)));
}
