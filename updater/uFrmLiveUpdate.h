#pragma once
// TFrmLiveUpdate: the updater's window. It shows the progress of the
// current transfer and the run's log; its first activation runs the update.

#include "http_client.h"
#include "instance_marker.h"
#include "manifest.h"
#include "update_run.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>

class QPlainTextEdit;
class QProgressBar;

class TFrmLiveUpdate : public QWidget, private update_run::Host {
    Q_OBJECT
public:
    // `appPath`: the updater's folder, with a trailing separator.
    explicit TFrmLiveUpdate(std::string appPath, QWidget* parent = nullptr);
    ~TFrmLiveUpdate() override;

    QProgressBar* ProgressBar1;
    QPlainTextEdit* MemoLog;
    std::optional<manifest::Document> XMLDoc;
    HttpClient IdHttpObj;

    const std::string& AppPath() const { return appPath_; }

    void FormActivate();
    void RunUpdate();
    bool LoadManifest(const std::string& url);
    bool DownloadFile(const std::string& url, const std::string& targetFile);
    static bool ForceFolders(const std::string& path);

    // The transfer pump of IdHttpObj.
    void IdAntiFreeze1();
    void IdHttpObjWorkBegin(std::int64_t expectedSize);
    void IdHttpObjWork(std::int64_t count);
    void IdHttpObjWorkEnd();

    bool isRunning() const { return running_; }
    bool hasEnded() const { return ended_; }
    bool closeWasRequested() const { return closeRequested_; }

signals:
    // The run is over and the program is to end.
    void programEnded();

protected:
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // update_run::Host
    std::optional<manifest::Document> loadManifest(const std::string& url) override;
    void resetProgress() override;
    void addLogLine(const std::string& line) override;
    void appendToLastLogLine(const std::string& text) override;
    bool downloadFile(const std::string& url, const std::string& targetFile) override;
    void startRunFile(const std::string& path) override;
    void showFailureNotice() override;

    void endProgram();
    void placeOnScreen();

    std::string appPath_;
    InstanceMarker marker_;
    bool activated_ = false;
    bool running_ = false;
    bool ended_ = false;
    bool closeRequested_ = false;
    bool placed_ = false;
};
