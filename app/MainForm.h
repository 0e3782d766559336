#pragma once

#include "config/ConfigEditor.h"
#include "config/ConfigJobs.h"
#include "config/ConfigPage.h"
#include "n2k/N2K.h"
#include "session/LinkUrl.h"
#include "session/Session.h"

#include "windows/Statistics.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QMainWindow>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class TMainForm;
}
class QLabel;
class TAssignIPDlg;
class TGuiUser;
class TN2KDeviceListForm;
class TNetworkDlg;
class TXPortListDlg;
struct TXPortOptions;
class TNavDBForm;
class TStats;
class TProgress;

// The main window: shows the session with the multiplexer and turns what the user does into
// its calls. Protocol work happens in TSession.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    // user: who answers questions; the window's own message boxes when null.
    explicit TMainForm(IUser* user = nullptr, QWidget* parent = nullptr);
    ~TMainForm() override;

    TSession& Session() { return session; }
    // The window's progress window; none when another user than the window's own was given.
    TProgress* ProgressWindow() const;
    TConfigEditor& Editor() { return editor; }
    TN2KDeviceList& DeviceList() { return n2kList; }
    TN2KDeviceListForm& DeviceListForm() { return *n2kForm; }
    Ui::TMainForm& Controls() { return *ui; }
    TStats& Stats() { return *stats; }
    TNavDBForm& NavDBForm() { return *navDBForm; }

    // Settings are neither read nor written (a demonstration on the built-in simulator).
    void SetPersistSettings(bool persist) { persistSettings = persist; }
    // Makes the hidden Tools menu entry "Show Navigation Database" visible.
    void ShowNavDBEntry();
    // Brings the configuration tab with that title to the front; false when there is none.
    bool ShowTab(const QString& title);
    // Selects a link, fills Host and Port, and presses Connect.
    void ConnectTo(const TLinkTarget& target);
    // Saves a picture of the window once the configuration read has ended, or after 5 s
    // without a link, then quits the program.
    void ScreenshotWhenReady(const QString& fileName);

    // Window operations, named after the controls they serve.
    void btnConnectClick();
    void btnReadConfigClick();
    void cbPortChange(int index);
    void edtMuxIPChange();
    void btnSendClick();
    void btnClrHistoryClick();
    void btnClearClick();
    void chbNoScrollClick();
    void chbTagBlocksClick();
    void cbViewFilterChange(int index);
    void miStartLogClick(bool diagnostic);
    void miStopLogClick();
    void miLoadClick();
    void miSaveClick();
    void miSaveAsClick();
    void miCompareClick();
    void miAboutClick();
    void miResetFactorySettingsClick();
    void miNetworkPopup();
    void miNetworkSetupClick();
    void miSearchClick();
    void miAssignIPClick();
    // The network dialogs: where they look for device servers (a real network's by default).
    void SetXPortOptions(const TXPortOptions& options);
    TXPortListDlg& XPortListDlg() { return *xportListDlg; }
    TNetworkDlg& NetworkDlg() { return *networkDlg; }
    TAssignIPDlg& AssignIPDlg() { return *assignIPDlg; }
    void miStatsClick(bool checked);
    void miNavDBClick();
    void miUpdateFirmwareClick();
    void miAutoUpdateClick();
    // The logging commands after their file dialog; false when the file could not be made.
    bool StartLogTo(const QString& fileName, bool diagnostic);
    // Save as Save and Save As do once the name is known.
    void SaveConfigurationTo(const QString& fileName);
    void LoadConfigurationFrom(const QString& fileName);
    // Compare with File once the name is known.
    void CompareWithFile(const QString& fileName);

    void SaveSettings(bool clear);
    void EnableConfigControls(bool enable);
    void RefreshControls();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void FormCreate();
    // Widens the tab area for pages that need more room than it has; returns by how much.
    QSize GrowForPages();
    void FormShow();
    void FormClose();
    void LoadSettings();
    void BuildOverflowLamps();
    void BuildStatusBar();
    void BuildDeviceList();
    void BuildGrids();
    void ConnectSignals();
    void UpdateViewer();
    void UpdateOverflowLamps(quint8 lamps);
    void UpdateLogStatus();
    void LineRateTimerTimer();
    void SetConfigFileName(const QString& fileName);
    // The save dialog of the configuration and log commands; empty when cancelled. filter is
    // the filter selected first and, afterwards, the one the user chose.
    QString AskSaveFileName(const QString& fileName, QString& filter);
    void TakeScreenshot();
    // Runs the firmware update with the image the source names (a file, or the built-in one).
    void RunFirmwareUpdate(const std::function<QString()>& chooseSource);
    static void EnableGroup(QWidget* group, bool enable);
    // The connection part of RefreshControls: link controls, commands, status bar.
    void RefreshConnection();
    // The configuration part of RefreshControls: the page refreshes.
    void RefreshConfigPages();
    // Runs a user action; errors nobody caught reach the standard error box.
    template <class F>
    void Guarded(F&& action);

    Ui::TMainForm* ui;
    std::unique_ptr<TGuiUser> guiUser;
    IUser& user;
    TSession session;
    TConfigJobs configJobs;
    TConfigWidgets configWidgets;
    TConfigEditor editor;
    TN2KDeviceList n2kList;                // the program-wide NMEA 2000 device list
    TN2KDeviceListForm* n2kForm = nullptr; // its window, created once
    std::unique_ptr<TAssignIPDlg> assignIPDlg;
    std::unique_ptr<TXPortListDlg> xportListDlg;
    std::unique_ptr<TNetworkDlg> networkDlg;
    QIcon glyphOn;
    QIcon glyphOff;
    std::array<QLabel*, 4> overflowLamps{};
    quint8 lampsShown = 0; // bit n: lamp n+1 is lit
    std::array<QLabel*, 5> statusPanels{};
    QLabel* lineRatePanel = nullptr;
    TStats* stats = nullptr;
    TNavDBForm* navDBForm = nullptr;
    // Received lines per second, counted while lines arrive.
    QTimer lineRateTimer;
    QElapsedTimer lineRateClock;
    TLineRate lineRate;
    QString configFileName;
    QString screenshotFile;
    QString lastSaveFilter;
    qint64 viewerAppended = 0;   // the viewer's appends already shown
    QTimer viewerTimer;          // the next redraw of the viewer
    QElapsedTimer viewerRedrawn; // since the last redraw of the viewer
    bool shown = false;
    bool clearSettings = false;
    bool persistSettings = true;
    bool closePending = false;
};
