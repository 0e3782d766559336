#include "app/MainForm.h"

#include "ui_MainForm.h"

#include "app/AboutBox.h"
#include "app/GuiUser.h"
#include "comms/Comms.h"
#include "config/CompareForm.h"
#include "firmware/FwUpdate.h"
#include "grids/ModbusGrid.h"
#include "grids/RouteGrid.h"
#include "n2k/N2KDeviceInfo.h"
#include "n2k/N2KForm.h"
#include "network/AssignIP.h"
#include "network/Network.h"
#include "network/XportList.h"
#include "session/Texts.h"
#include "windows/NavDBForm.h"
#include "windows/Stats.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>

namespace {

constexpr int ClientWidth = 865;
constexpr int ClientHeight = 691;
constexpr int ViewerRefreshMs = 100;
constexpr int LineRateMs = 1000;
constexpr int LineRateWidth = 80;

QString LineRateText(int rate) {
    return QStringLiteral("%1 lines/s").arg(rate);
}

const char* const LampOff =
    "background-color: #802020; border: 1px solid palette(dark); border-radius: 6px;";
const char* const LampOn =
    "background-color: #ff2020; border: 1px solid palette(dark); border-radius: 6px;";

const QString OpenFilter = QStringLiteral(
    "Corvanta Configuration (*.ini);;Corvanta Firmware Image (*.cvz);;WiFi Firmware Image "
    "(*.bin);;Any file (*)");
const QString SaveFilterConfig = QStringLiteral("Corvanta Configruation file (*.ini)");
const QString SaveFilterLog = QStringLiteral("Log file (*.txt)");
const QString SaveFilters =
    SaveFilterConfig + QStringLiteral(";;") + SaveFilterLog + QStringLiteral(";;Any file (*)");

// Appends lines to a scrolling view that keeps the last limit lines, dropping the oldest in
// the same edit. Once the view is full its line count never changes, so its height and scroll
// range stay as they are and a busy link repaints the text alone, not the scroll bar too (the
// editor's own append adds first and trims after, and moves the scroll bar twice).
void AppendToView(QPlainTextEdit& view, const QStringList& lines, qsizetype limit) {
    QTextDocument& document = *view.document();
    QTextCursor cursor(&document);
    // Positions are set rather than moved to: inside an edit block that lays nothing out.
    cursor.beginEditBlock();
    const qsizetype excess = qsizetype(document.blockCount()) + lines.size() - limit;
    if (excess > 0) {
        const int end = excess >= document.blockCount()
                            ? document.characterCount() - 1
                            : document.findBlockByNumber(int(excess)).position();
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.setPosition(document.characterCount() - 1);
    if (!document.isEmpty())
        cursor.insertBlock();
    cursor.insertText(lines.join(u'\n'));
    cursor.endEditBlock();
}

// Gives each field its label's text as its accessible name ("Host:" is announced "Host"), unless
// it has a name of its own. Qt would tell a field without a label by its group's title.
void NameFieldsByTheirLabels(QWidget* window) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        QWidget* field = label->buddy();
        if (!field || !field->accessibleName().isEmpty())
            continue;
        QString name = label->text().remove(u'&').trimmed();
        while (name.endsWith(u':'))
            name.chop(1);
        field->setAccessibleName(name.trimmed());
    }
}

QSettings AppSettings() {
    return QSettings(QStringLiteral("Kelvane"), QStringLiteral("Tidewright"));
}

} // namespace

template <class F>
void TMainForm::Guarded(F&& action) {
    try {
        action();
    } catch (const ECancelled&) {
        // The window is closing; nothing to tell.
    } catch (const ELinkLost&) {
        // The disconnect has told the user.
    } catch (const EError& e) {
        user.ShowError(e.Message());
    } catch (const std::exception& e) {
        user.ShowError(QString::fromLocal8Bit(e.what()));
    }
}

TMainForm::TMainForm(IUser* aUser, QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::TMainForm)
    , guiUser(aUser ? nullptr : std::make_unique<TGuiUser>(this))
    , user(aUser ? *aUser : *guiUser)
    , session(user)
    , configJobs(session, user)
    , editor(session, user)
    , n2kList(session) {
    FormCreate();
}

TMainForm::~TMainForm() {
    // The grids go with the window; the model outlives them for a moment.
    session.Config.OnRoutesChange = nullptr;
    session.Config.OnModbusChange = nullptr;
    networkDlg.reset();
    xportListDlg.reset();
    assignIPDlg.reset();
    delete ui;
}

QSize TMainForm::GrowForPages() {
    // The tab area is sized for a narrow desktop font. A page laid out by its controls' sizes
    // asks for more with a wide one, or a large one; the tab area, the viewer above it and the
    // window grow by what it lacks, so that no choice is cut short. The lists were filled
    // after the pages were laid out: their layouts learn the new sizes when activated,
    // innermost first.
    const QList<QLayout*> layouts = ui->pcConfig->findChildren<QLayout*>();
    for (auto layout = layouts.rbegin(); layout != layouts.rend(); ++layout)
        (*layout)->activate();
    const QSize lack =
        (ui->pcConfig->minimumSizeHint() - ui->pcConfig->size()).expandedTo(QSize(0, 0));
    ui->pcConfig->resize(ui->pcConfig->size() + lack);
    ui->memNmea->resize(ui->memNmea->width() + lack.width(), ui->memNmea->height());
    ui->gbViewOptions->move(ui->gbViewOptions->pos() + QPoint(lack.width(), 0));
    return lack;
}

void TMainForm::FormCreate() {
    ui->setupUi(this);
    setWindowTitle(ToolText());
    setWindowIcon(TAboutBox::ProgramIcon());

    QFont viewerFont(QStringLiteral("Courier"));
    viewerFont.setStyleHint(QFont::TypeWriter);
    viewerFont.setFixedPitch(true);
    viewerFont.setPixelSize(13);
    ui->memNmea->setFont(viewerFont);
    ui->cbSentence->setInsertPolicy(QComboBox::NoInsert);
    ui->cbSentence->setMaxCount(21);

    ui->cbViewFilter->addItems(TViewer::FilterItems());
    ui->cbViewFilter->setCurrentIndex(0);
    session.Viewer.ViewFilter = -1;

    ui->cbPort->addItems(session.DisplayNames());
    ui->cbPort->setCurrentIndex(-1);
    LoadSettings();

    glyphOn = QIcon(QStringLiteral(":/conn_on.png"));
    glyphOff = QIcon(QStringLiteral(":/conn_off.png"));
    ui->btnConnect->setIcon(glyphOff);

    BuildOverflowLamps();
    BuildStatusBar();
    ui->pcConfig->setCurrentIndex(0);
    for (TConfigPage* page :
         std::initializer_list<TConfigPage*>{ui->tsInOut, ui->tsOptions, ui->tsConversions,
                                             ui->tsRouting, ui->tsModbus, ui->tsNmea2000})
        page->Bind(session, editor, configWidgets);
    ui->tsModbus->SetTabs(ui->pcConfig);
    configWidgets.OnRefresh = [this] { RefreshControls(); };
    editor.SetControls(&configWidgets);
    // The secondary windows are made once and shown on demand.
    stats = new TStats(session, this);
    navDBForm = new TNavDBForm(session, this);
    BuildDeviceList();
    BuildGrids();
    ConnectSignals();

    // A fixed window: single border, minimise and close only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    const QSize grown = GrowForPages();
    setFixedSize(ClientWidth + grown.width(),
                 ClientHeight + grown.height() + menuBar()->sizeHint().height());

    EnableConfigControls(false);

    // The network dialogs live as long as the window and are shown on demand.
    assignIPDlg = std::make_unique<TAssignIPDlg>(user, this);
    xportListDlg = std::make_unique<TXPortListDlg>(user, *assignIPDlg, this);
    networkDlg = std::make_unique<TNetworkDlg>(user, this);
    for (QWidget* window :
         std::initializer_list<QWidget*>{this, stats, navDBForm, n2kForm, &n2kForm->InfoForm(),
                                         assignIPDlg.get(), xportListDlg.get(), networkDlg.get()})
        NameFieldsByTheirLabels(window);
}

void TMainForm::LoadSettings() {
    // The first value that is missing or unreadable ends the reading; the rest keep their
    // defaults.
    QSettings settings = AppSettings();
    [&] {
        if (!settings.contains(QStringLiteral("Port")))
            return;
        bool ok = false;
        const int port = settings.value(QStringLiteral("Port")).toInt(&ok);
        if (!ok)
            return;
        // A port that has gone (an adapter unplugged) leaves the selector empty.
        ui->cbPort->setCurrentIndex(port >= 0 && port < ui->cbPort->count() ? port : -1);
        if (!settings.contains(QStringLiteral("IP")))
            return;
        ui->edtMuxIP->setText(settings.value(QStringLiteral("IP")).toString());
        if (!settings.contains(QStringLiteral("NetPort")))
            return;
        ui->edtMuxPort->setText(settings.value(QStringLiteral("NetPort")).toString());
    }();
    if (ui->edtMuxPort->text().isEmpty())
        ui->edtMuxPort->setText(QString::fromLatin1(DefaultNetPort));
}

void TMainForm::SaveSettings(bool clear) {
    if (!persistSettings)
        return;
    QSettings settings = AppSettings();
    if (clear) {
        settings.clear();
    } else {
        settings.setValue(QStringLiteral("Port"), ui->cbPort->currentIndex());
        settings.setValue(QStringLiteral("IP"), ui->edtMuxIP->text());
        settings.setValue(QStringLiteral("NetPort"), ui->edtMuxPort->text());
    }
    settings.sync();
}

void TMainForm::BuildOverflowLamps() {
    for (int i = 0; i < 4; ++i) {
        auto* lamp = new QLabel(ui->pnlOverflow);
        lamp->setObjectName(QStringLiteral("lmpOverflow%1").arg(i + 1));
        lamp->setGeometry(2, 3 + i * 17, 12, 12);
        lamp->setStyleSheet(QString::fromLatin1(LampOff));
        // A lamp is a colour; a screen reader tells its state in words.
        lamp->setAccessibleName(QStringLiteral("Output %1 overflow").arg(i + 1));
        lamp->setAccessibleDescription(QStringLiteral("off"));
        auto* caption = new QLabel(QStringLiteral("Output %1").arg(i + 1), ui->pnlOverflow);
        caption->setGeometry(20, i * 17, 120, 18);
        overflowLamps[i] = lamp;
    }
}

void TMainForm::BuildStatusBar() {
    const std::array<std::pair<const char*, int>, 5> panels{{{"Device:", 220},
                                                             {"Version:", 110},
                                                             {"Serial:", 110},
                                                             {"Config file:", 300},
                                                             {"Log: ---", 50}}};
    for (size_t i = 0; i < panels.size(); ++i) {
        auto* panel = new QLabel(QString::fromLatin1(panels[i].first));
        panel->setObjectName(QStringLiteral("sbPanel%1").arg(i));
        // The configuration file's panel stretches; it lends the line rate the room it needs.
        panel->setMinimumWidth(i == 3 ? panels[i].second - LineRateWidth : panels[i].second);
        panel->setFrameShape(QFrame::StyledPanel);
        ui->statusBar->addWidget(panel, i == 3 ? 1 : 0);
        statusPanels[i] = panel;
    }
    lineRatePanel = new QLabel(LineRateText(0));
    lineRatePanel->setObjectName(QStringLiteral("sbLineRate"));
    lineRatePanel->setToolTip(QStringLiteral("Lines received per second"));
    lineRatePanel->setMinimumWidth(LineRateWidth);
    lineRatePanel->setFrameShape(QFrame::StyledPanel);
    ui->statusBar->addPermanentWidget(lineRatePanel);
}

void TMainForm::BuildDeviceList() {
    n2kForm = new TN2KDeviceListForm(n2kList, user, this);
    QWidget* group = ui->tsNmea2000->DeviceSettings();
    auto* button = new QPushButton(QStringLiteral("Device List"), group);
    button->setObjectName(QStringLiteral("btnDeviceList"));
    button->setGeometry(group->width() - 108, group->height() - 32, 100, 24);
    connect(button, &QPushButton::clicked, this, [this] { Guarded([&] { n2kForm->Browse(); }); });
}

void TMainForm::BuildGrids() {
    ui->tsRouting->CreateGrid(session, user, n2kList, n2kForm);
    ui->tsModbus->CreateGrid(session, user);
    session.Config.OnRoutesChange = [this] { ui->tsRouting->Grid().UpdateRows(); };
    session.Config.OnModbusChange = [this] { ui->tsModbus->Grid().UpdateRows(); };
    // Captured NMEA 2000 sentences name their source device.
    session.CaptureNames = [this](quint8 address) {
        return address < TN2KDeviceList::AddressCount ? n2kList.Record(address).Name : 0;
    };
}

void TMainForm::ConnectSignals() {
    // Only what the user does reaches the handlers: the program's own changes of selections and
    // check states do not raise these signals.
    connect(ui->btnConnect, &QPushButton::clicked, this, [this] { btnConnectClick(); });
    connect(ui->btnReadConfig, &QPushButton::clicked, this, [this] { btnReadConfigClick(); });
    connect(ui->cbPort, &QComboBox::activated, this, [this](int i) { cbPortChange(i); });
    connect(ui->edtMuxIP, &QLineEdit::textEdited, this, [this] { edtMuxIPChange(); });
    connect(ui->edtMuxPort, &QLineEdit::textEdited, this, [this] { edtMuxIPChange(); });
    connect(ui->btnSend, &QPushButton::clicked, this, [this] { btnSendClick(); });
    connect(ui->cbSentence->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { btnSendClick(); });
    connect(ui->btnClrHistory, &QPushButton::clicked, this, [this] { btnClrHistoryClick(); });
    connect(ui->btnClear, &QPushButton::clicked, this, [this] { btnClearClick(); });
    connect(ui->chbNoScroll, &QCheckBox::clicked, this, [this] { chbNoScrollClick(); });
    connect(ui->chbTagBlocks, &QCheckBox::clicked, this, [this] { chbTagBlocksClick(); });
    connect(ui->cbViewFilter, &QComboBox::activated, this,
            [this](int i) { cbViewFilterChange(i); });
    connect(ui->miLogNmea, &QAction::triggered, this, [this] { miStartLogClick(false); });
    connect(ui->miLogDiag, &QAction::triggered, this, [this] { miStartLogClick(true); });
    connect(ui->miStopLog, &QAction::triggered, this, [this] { miStopLogClick(); });
    connect(ui->miLoad, &QAction::triggered, this, [this] { miLoadClick(); });
    connect(ui->miSave, &QAction::triggered, this, [this] { miSaveClick(); });
    connect(ui->miSaveAs, &QAction::triggered, this, [this] { miSaveAsClick(); });
    connect(ui->miCompare, &QAction::triggered, this, [this] { miCompareClick(); });
    connect(ui->miExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->miAbout, &QAction::triggered, this, [this] { miAboutClick(); });
    connect(ui->miResetFactorySettings, &QAction::triggered, this,
            [this] { miResetFactorySettingsClick(); });
    connect(ui->miNetwork, &QMenu::aboutToShow, this, [this] { miNetworkPopup(); });
    connect(ui->miNetworkSetup, &QAction::triggered, this, [this] { miNetworkSetupClick(); });
    connect(ui->miSearch, &QAction::triggered, this, [this] { miSearchClick(); });
    connect(ui->miAssignIP, &QAction::triggered, this, [this] { miAssignIPClick(); });
    connect(ui->miStats, &QAction::triggered, this,
            [this](bool checked) { miStatsClick(checked); });
    connect(ui->miNavDB, &QAction::triggered, this, [this] { miNavDBClick(); });
    connect(stats, &TStats::Closed, this, [this] { ui->miStats->setChecked(false); });

    // The line rate is counted once a second while lines arrive; a second without any shows 0
    // and lets the count sleep until the next line.
    lineRateClock.start();
    lineRateTimer.setInterval(LineRateMs);
    connect(&lineRateTimer, &QTimer::timeout, this, [this] { LineRateTimerTimer(); });
    connect(&session.Comm(), &TComm::LinesQueued, this, [this] {
        if (lineRateTimer.isActive())
            return;
        lineRate.Restart(session.LinesReceived(), lineRateClock.elapsed());
        lineRateTimer.start();
    });
    connect(ui->miUpdateFirmware, &QAction::triggered, this, [this] { miUpdateFirmwareClick(); });
    connect(ui->miAutoUpdate, &QAction::triggered, this, [this] { miAutoUpdateClick(); });

    connect(&session, &TSession::StateChanged, this, [this] { RefreshControls(); });
    // A wait that starts or ends changes what may be started; the pages keep what they show
    // (a change whose answer did not come keeps the user's choice, unrefreshed).
    connect(&session, &TSession::BusyChanged, this, [this] { RefreshConnection(); });
    connect(&session, &TSession::ConfigControlsEnabled, this,
            [this](bool enable) { EnableConfigControls(enable); });
    // Busy links change the viewer on every pump tick; redrawing it ten times a second is as
    // much as anyone can read and costs a fraction of redrawing it fifty times. A change is
    // drawn at once when the last redraw is that long ago, and otherwise when it will be: the
    // lines of a quiet link show without delay, and a busy one costs no timer of its own.
    viewerTimer.setSingleShot(true);
    connect(&viewerTimer, &QTimer::timeout, this, [this] { UpdateViewer(); });
    connect(&session, &TSession::ViewerChanged, this, [this] {
        if (viewerTimer.isActive())
            return;
        const qint64 since =
            viewerRedrawn.isValid() ? viewerRedrawn.elapsed() : qint64(ViewerRefreshMs);
        if (since >= ViewerRefreshMs)
            UpdateViewer();
        else
            viewerTimer.start(int(ViewerRefreshMs - since));
    });
    connect(&session, &TSession::OverflowChanged, this,
            [this](quint8 lamps) { UpdateOverflowLamps(lamps); });
    connect(&session, &TSession::LogChanged, this, [this] { UpdateLogStatus(); });
    // Source addresses and device instances may change at any time, not only in a read.
    connect(&session, &TSession::Nmea2000Changed, this, [this] {
        TRefreshingScope refreshing(session.Refreshing);
        ui->tsNmea2000->RefreshNmea2000();
    });
    connect(&session, &TSession::LoaderAnnounced, this, [this] {
        ui->miUpdateFirmware->setVisible(true);
        ui->miUpdateFirmware->setEnabled(true);
    });
    // The update waits for lines itself, so it runs after the dispatch that asked for it.
    connect(
        &session, &TSession::FirmwareUpdateRequested, this,
        [this] { RunFirmwareUpdate([] { return BuiltInImageSource; }); }, Qt::QueuedConnection);
    connect(&session, &TSession::WaitsFinished, this, [this] {
        if (closePending)
            QTimer::singleShot(0, this, &QWidget::close);
    });
}

void TMainForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown) {
        shown = true;
        FormShow();
    }
}

void TMainForm::FormShow() {
    // The Modbus page appears only while the multiplexer's output 4 runs Modbus.
    ui->pcConfig->setTabVisible(ui->pcConfig->indexOf(ui->tsModbus), false);
    ui->tsRouting->Grid().SetFlags(rfOut4);
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (session.FirmwareUpdateRunning) {
        // Closing the link in the middle of programming would leave the multiplexer without a
        // program: the window closes once the update has ended (every one of its waits does).
        closePending = true;
        event->ignore();
        return;
    }
    if (session.WaitDepth() > 0) {
        // A command is waiting for the multiplexer with the port and the model in use: end the
        // wait first, and close once it has unwound.
        closePending = true;
        session.CancelWaits();
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    session.StopRouteCapture();
    // The multiplexer would go on reporting to a program that is gone.
    if (ui->miStats->isChecked()) {
        ui->miStats->setChecked(false);
        stats->HideAndStop();
    }
    session.Comm().Close();
    SaveSettings(clearSettings);
    session.StopLog();
}

// --- controls ----------------------------------------------------------------------------

void TMainForm::EnableGroup(QWidget* group, bool enable) {
    for (QWidget* child : group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        child->setEnabled(enable);
        if (enable)
            continue;
        if (auto* check = qobject_cast<QCheckBox*>(child))
            check->setChecked(false);
        else if (auto* combo = qobject_cast<QComboBox*>(child))
            combo->setCurrentIndex(-1);
        else if (auto* edit = qobject_cast<QLineEdit*>(child))
            edit->clear();
    }
}

void TMainForm::EnableConfigControls(bool enable) {
    {
        TRefreshingScope refreshing(session.Refreshing);
        configWidgets.Enabled = enable;
        QList<QWidget*> groups{ui->gbSendNmea};
        groups += ui->tsInOut->Containers();
        groups += ui->tsOptions->Containers();
        groups += ui->tsConversions->Containers();
        groups += ui->tsRouting->Containers();
        groups += ui->tsModbus->Containers();
        groups += ui->tsNmea2000->Containers();
        for (QWidget* group : std::as_const(groups))
            EnableGroup(group, enable);
        // A talker ID marked by a failed check loses its mark.
        if (!enable) {
            const QList<TControlDesc>& controls = ConfigControls();
            for (qsizetype i = 0; i < controls.size(); ++i)
                if (controls[i].Handler == chTalkerID)
                    configWidgets.Mark(int(i), fmNormal);
        }
    }
    RefreshControls();
}

void TMainForm::RefreshControls() {
    TRefreshingScope refreshing(session.Refreshing);
    RefreshConnection();
    RefreshConfigPages();
}

void TMainForm::RefreshConnection() {
    const int selector = ui->cbPort->currentIndex();
    const bool network = selector >= 0 && selector < SelectorFirstSerial;
    if (selector < 0) {
        ui->btnConnect->setEnabled(false);
    } else {
        for (QWidget* w :
             {static_cast<QWidget*>(ui->lblMuxIP), static_cast<QWidget*>(ui->edtMuxIP),
              static_cast<QWidget*>(ui->lblMuxPort), static_cast<QWidget*>(ui->edtMuxPort)})
            w->setVisible(network);
        ui->miNetwork->menuAction()->setVisible(network);
        ui->btnConnect->setEnabled(!network || !ui->edtMuxIP->text().isEmpty());
    }

    const bool open = session.IsOpen();
    if (open) {
        EnableGroup(ui->gbSendNmea, true);
        ui->btnConnect->setText(QStringLiteral("Disconnect"));
        ui->btnConnect->setIcon(glyphOn);
    } else {
        ui->btnConnect->setText(QStringLiteral("Connect"));
        ui->btnConnect->setIcon(glyphOff);
        ui->cbViewFilter->setCurrentIndex(0);
    }
    ui->edtMuxIP->setEnabled(!open);
    ui->edtMuxPort->setEnabled(!open);
    // Commands that read or write the whole configuration wait until nothing else runs.
    const bool idle = open && session.IsIdle();
    ui->btnReadConfig->setEnabled(idle && !session.LinkHeld);
    // While the update holds the link, the link stays as it is.
    ui->gbConnection->setEnabled(!session.LinkHeld);
    for (QAction* item : {ui->miLoad, ui->miResetFactorySettings})
        item->setEnabled(idle);
    for (QAction* item : {ui->miSave, ui->miSaveAs, ui->miUpdateFirmware, ui->miAutoUpdate,
                          ui->miNavDB, ui->miStats})
        item->setEnabled(open);
    if (session.FirmwareUpdateRunning) {
        ui->miUpdateFirmware->setEnabled(false);
        ui->miAutoUpdate->setEnabled(false);
    }
    // A comparison needs the multiplexer's whole configuration: after a read that completed.
    ui->miCompare->setEnabled(idle && configWidgets.Enabled);
    statusPanels[0]->setText(QStringLiteral("Device: ") + session.Identification().DeviceName);
    statusPanels[1]->setText(QStringLiteral("Version: ") + session.Identification().FirmwareText);
    statusPanels[2]->setText(QStringLiteral("Serial: ") + session.Identification().SerialNumber);
    ui->cbViewFilter->setEnabled(open);
    setAcceptDrops(open);

    // Incompatible firmware greys the viewer.
    QPalette palette = ui->memNmea->palette();
    palette.setColor(QPalette::Base, session.ViewerGreyed ? this->palette().color(QPalette::Button)
                                                          : this->palette().color(QPalette::Base));
    ui->memNmea->setPalette(palette);
}

void TMainForm::RefreshConfigPages() {
    if (!session.IsOpen()) {
        // Nothing is sent from the controls until they are filled again while connected.
        session.Config.ClearRoutes();
        session.Config.ClearModbus();
        ui->tsRouting->Grid().SetFlags(rfOut4);
        return;
    }
    switch (session.Activity()) {
    case acIdle:
        ui->tsInOut->RefreshInputsOutputs();
        ui->tsOptions->RefreshOptions();
        ui->tsConversions->RefreshConversions();
        ui->tsRouting->RefreshRouting();
        ui->tsModbus->RefreshModbus();
        ui->tsNmea2000->RefreshNmea2000();
        break;
    case acRouteCapture:
        ui->btnReadConfig->setEnabled(false);
        ui->tsRouting->RefreshRouting();
        break;
    default:
        break;
    }
}

void TMainForm::UpdateViewer() {
    viewerRedrawn.start();
    TViewer& viewer = session.Viewer;
    const qint64 fresh = viewer.Appended - viewerAppended;
    viewerAppended = viewer.Appended;
    // No need to suspend the viewer's updates around the change: it is painted once, after
    // this returns. Suspending them would repaint the whole editor, frame and scroll bar
    // included, where only the text changed.
    // Scrolling mode only ever appends: add the new lines and drop the oldest, instead of
    // laying out the whole text again on every tick; more new lines than the view holds
    // replace it all the same way.
    ui->memNmea->setMaximumBlockCount(viewer.NoScroll ? 0 : int(TViewer::MaxScrollLines));
    if (viewer.Rewritten || viewer.NoScroll) {
        viewer.Rewritten = false;
        ui->memNmea->setPlainText(viewer.Lines.join(u'\n'));
    } else if (fresh > 0) {
        const qsizetype newLines = std::min<qint64>(fresh, viewer.Lines.size());
        AppendToView(*ui->memNmea, viewer.Lines.mid(viewer.Lines.size() - newLines),
                     TViewer::MaxScrollLines);
    }
    // The newest line in full view, however many lines the font and the window leave room
    // for: the bottom of the scroll range shows the last line whole.
    if (!viewer.NoScroll)
        ui->memNmea->verticalScrollBar()->setValue(ui->memNmea->verticalScrollBar()->maximum());
}

void TMainForm::UpdateOverflowLamps(quint8 lamps) {
    // A busy multiplexer repeats its overflow report several times a second; a lamp whose
    // state stays is left alone, since a new style sheet costs a re-polish and a repaint.
    const quint8 changed = lamps ^ lampsShown;
    lampsShown = lamps;
    for (int i = 0; i < 4; ++i) {
        if (!((changed >> i) & 1))
            continue;
        const bool lit = (lamps >> i) & 1;
        overflowLamps[i]->setStyleSheet(QString::fromLatin1(lit ? LampOn : LampOff));
        overflowLamps[i]->setAccessibleDescription(lit ? QStringLiteral("lit")
                                                       : QStringLiteral("off"));
    }
}

void TMainForm::UpdateLogStatus() {
    const TNmeaLog& log = session.Log();
    statusPanels[4]->setText(log.Logging() ? QStringLiteral("Log: %1 lines").arg(log.LogLines())
                                           : QStringLiteral("Log: ---"));
    ui->miLogNmea->setEnabled(!log.Logging());
    ui->miLogDiag->setEnabled(!log.Logging());
    ui->miStopLog->setEnabled(log.Logging());
}

void TMainForm::LineRateTimerTimer() {
    const int rate = lineRate.Sample(session.LinesReceived(), lineRateClock.elapsed());
    lineRatePanel->setText(LineRateText(rate));
    if (rate == 0)
        lineRateTimer.stop();
}

void TMainForm::SetConfigFileName(const QString& fileName) {
    configFileName = fileName;
    statusPanels[3]->setText(QStringLiteral("Config file: ") + fileName);
}

// --- connection --------------------------------------------------------------------------

void TMainForm::btnConnectClick() {
    Guarded([&] {
        if (session.IsOpen())
            session.Disconnect();
        else
            session.Connect(ui->cbPort->currentIndex(), ui->edtMuxIP->text(),
                            ui->edtMuxPort->text());
        RefreshControls();
    });
}

void TMainForm::btnReadConfigClick() {
    Guarded([&] { session.ReadConfiguration(); });
}

void TMainForm::cbPortChange(int index) {
    (void)index;
    Guarded([&] {
        session.SelectorChanged();
        EnableConfigControls(false);
        SaveSettings(false);
    });
}

void TMainForm::edtMuxIPChange() {
    const int selector = ui->cbPort->currentIndex();
    if (selector >= 0 && selector < SelectorFirstSerial)
        ui->btnConnect->setEnabled(!ui->edtMuxIP->text().isEmpty());
}

void TMainForm::ConnectTo(const TLinkTarget& target) {
    int index = target.Selector;
    if (target.IsSerial()) {
        index = session.AddSerialDevice(target.Device);
        if (index >= ui->cbPort->count())
            ui->cbPort->addItem(session.DisplayNames().at(index));
    } else {
        ui->edtMuxIP->setText(target.Host);
        ui->edtMuxPort->setText(target.Port);
    }
    if (session.IsOpen())
        session.Disconnect();
    ui->cbPort->setCurrentIndex(index);
    RefreshControls();
    btnConnectClick();
}

// --- sending and viewing -----------------------------------------------------------------

void TMainForm::btnSendClick() {
    const QString text = ui->cbSentence->currentText();
    if (text.isEmpty())
        return;
    if (ui->cbSentence->findText(text, Qt::MatchFixedString | Qt::MatchCaseSensitive) < 0) {
        ui->cbSentence->insertItem(0, text);
        while (ui->cbSentence->count() > 20)
            ui->cbSentence->removeItem(ui->cbSentence->count() - 1);
    }
    ui->cbSentence->setCurrentText(text);
    Guarded([&] { session.SendSentence(text); });
}

void TMainForm::btnClrHistoryClick() {
    const QString text = ui->cbSentence->currentText();
    ui->cbSentence->clear();
    ui->cbSentence->setCurrentText(text);
}

void TMainForm::btnClearClick() {
    session.Viewer.Clear();
    ui->memNmea->clear();
}

void TMainForm::chbNoScrollClick() {
    // Each mode starts from an empty view.
    session.Viewer.NoScroll = ui->chbNoScroll->isChecked();
    btnClearClick();
}

void TMainForm::chbTagBlocksClick() {
    session.Viewer.TagBlocks = ui->chbTagBlocks->isChecked();
}

void TMainForm::cbViewFilterChange(int index) {
    session.Viewer.ViewFilter = TViewer::FilterOfItem(index);
}

// --- logging -----------------------------------------------------------------------------

QString TMainForm::AskSaveFileName(const QString& fileName, QString& filter) {
    QFileDialog dialog(this, QString(), fileName, SaveFilters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without extension is saved as a configuration file, so that the open
    // dialog lists it and a drop takes it.
    dialog.setDefaultSuffix(QStringLiteral("ini"));
    dialog.selectNameFilter(filter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    filter = dialog.selectedNameFilter();
    return dialog.selectedFiles().constFirst();
}

void TMainForm::miStartLogClick(bool diagnostic) {
    QString filter = SaveFilterLog;
    const QString name =
        QFileDialog::getSaveFileName(this, QString(), QString(), SaveFilters, &filter);
    if (name.isEmpty())
        return;
    lastSaveFilter = SaveFilterLog;
    StartLogTo(name, diagnostic);
}

bool TMainForm::StartLogTo(const QString& fileName, bool diagnostic) {
    if (!session.StartLog(fileName, diagnostic)) {
        user.ShowMessage(MsgErrorCreating(fileName));
        return false;
    }
    return true;
}

void TMainForm::miStopLogClick() {
    session.StopLog();
}

// --- configuration files -----------------------------------------------------------------

void TMainForm::miLoadClick() {
    const QString name = QFileDialog::getOpenFileName(this, QString(), QString(), OpenFilter);
    if (!name.isEmpty())
        LoadConfigurationFrom(name);
}

void TMainForm::LoadConfigurationFrom(const QString& fileName) {
    Guarded([&] {
        // A file dropped while the multiplexer is busy is refused before it becomes the
        // configuration file.
        if (!session.CheckIdle())
            return;
        SetConfigFileName(fileName);
        configJobs.LoadConfiguration(fileName);
    });
}

void TMainForm::miSaveClick() {
    if (configFileName.isEmpty()) {
        QString filter = SaveFilterConfig;
        const QString name = AskSaveFileName(QString(), filter);
        lastSaveFilter = SaveFilterConfig;
        if (!name.isEmpty())
            SaveConfigurationTo(name);
    } else {
        SaveConfigurationTo(configFileName);
    }
    RefreshControls();
}

void TMainForm::miSaveAsClick() {
    QString filter = lastSaveFilter.isEmpty() ? SaveFilterConfig : lastSaveFilter;
    const QString name = AskSaveFileName(configFileName, filter);
    if (!name.isEmpty())
        SaveConfigurationTo(name);
    RefreshControls();
}

void TMainForm::SaveConfigurationTo(const QString& fileName) {
    SetConfigFileName(fileName);
    configJobs.SaveConfiguration(fileName);
}

void TMainForm::miCompareClick() {
    const QString name = QFileDialog::getOpenFileName(this, QString(), QString(), OpenFilter);
    if (!name.isEmpty())
        CompareWithFile(name);
}

void TMainForm::CompareWithFile(const QString& fileName) {
    // An unreadable file would compare as all defaults.
    const QFileInfo info(fileName);
    if (!info.isFile() || !info.isReadable()) {
        user.ShowMessage(QStringLiteral("Unable to read %1").arg(fileName));
        return;
    }
    TMuxConfig file;
    file.LoadFromFile(fileName);
    TCompareForm compare(CompareConfigurations(session.Config, file), fileName, this);
    if (compare.exec() == TCompareForm::Load)
        LoadConfigurationFrom(fileName);
}

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    if (session.IsOpen() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (path.endsWith(QStringLiteral(".ini"))) {
            LoadConfigurationFrom(path);
        } else if (path.endsWith(QStringLiteral(".txt"))) {
            Guarded([&] { configJobs.SendSentenceFile(path); });
        }
    }
    event->acceptProposedAction();
}

// --- menu commands -----------------------------------------------------------------------

void TMainForm::miAboutClick() {
    TAboutBox about(this);
    if (about.exec() == TAboutBox::ClearSettings) {
        clearSettings = true;
        close();
    }
}

void TMainForm::miResetFactorySettingsClick() {
    Guarded([&] { configJobs.RestoreFactorySettings(); });
}

// --- network setup ---------------------------------------------------------------------

void TMainForm::SetXPortOptions(const TXPortOptions& options) {
    assignIPDlg->SetXPortOptions(options);
    xportListDlg->SetXPortOptions(options);
    networkDlg->SetXPortOptions(options);
}

void TMainForm::miNetworkPopup() {
    ui->miNetworkSetup->setEnabled(!ui->edtMuxIP->text().isEmpty());
}

void TMainForm::miNetworkSetupClick() {
    networkDlg->SetAddress(ui->edtMuxIP->text());
    if (networkDlg->exec() != QDialog::Accepted)
        return;
    // The device server now has these settings: the next connection uses them.
    Guarded([&] {
        session.Disconnect();
        ui->cbPort->setCurrentIndex(networkDlg->TcpChecked() ? SelectorTcp : SelectorUdp);
        if (networkDlg->IPText() != u"0.0.0.0")
            ui->edtMuxIP->setText(networkDlg->IPText());
        ui->edtMuxPort->setText(networkDlg->PortText());
        RefreshControls();
    });
}

void TMainForm::miSearchClick() {
    if (xportListDlg->exec() != QDialog::Accepted)
        return;
    ui->edtMuxIP->setText(xportListDlg->SelectedIP());
    RefreshControls();
}

void TMainForm::miAssignIPClick() {
    assignIPDlg->SetMac(QString());
    assignIPDlg->exec();
}

void TMainForm::miStatsClick(bool checked) {
    Guarded([&] {
        if (checked)
            stats->ShowBeside(*this);
        else
            stats->HideAndStop();
    });
}

void TMainForm::miNavDBClick() {
    Guarded([&] { navDBForm->Query(); });
}

void TMainForm::miUpdateFirmwareClick() {
    RunFirmwareUpdate([this] {
        // The open dialog starts on the firmware images, its second filter.
        QString filter = OpenFilter.section(QStringLiteral(";;"), 1, 1);
        return QFileDialog::getOpenFileName(this, QString(), QString(), OpenFilter, &filter);
    });
}

void TMainForm::miAutoUpdateClick() {
    RunFirmwareUpdate([] { return BuiltInImageSource; });
}

void TMainForm::RunFirmwareUpdate(const std::function<QString()>& chooseSource) {
    Guarded([&] {
        TFwUpdate update(session);
        update.Run(chooseSource);
    });
    RefreshControls();
    if (closePending && !session.FirmwareUpdateRunning)
        QTimer::singleShot(0, this, &QWidget::close);
}

TProgress* TMainForm::ProgressWindow() const {
    return guiUser ? guiUser->Progress() : nullptr;
}

// --- start-up options --------------------------------------------------------------------

void TMainForm::ShowNavDBEntry() {
    ui->miNavDB->setVisible(true);
}

bool TMainForm::ShowTab(const QString& title) {
    for (int i = 0; i < ui->pcConfig->count(); ++i) {
        if (ui->pcConfig->tabText(i).remove(u'&') == title) {
            ui->pcConfig->setCurrentIndex(i);
            return true;
        }
    }
    return false;
}

void TMainForm::ScreenshotWhenReady(const QString& fileName) {
    screenshotFile = fileName;
    connect(&session, &TSession::ReadFinished, this, [this] { TakeScreenshot(); });
    QTimer::singleShot(5000, this, [this] {
        if (!session.IsOpen())
            TakeScreenshot();
    });
    // Whatever happens, do not run on for ever.
    QTimer::singleShot(30000, this, [this] { TakeScreenshot(); });
}

void TMainForm::TakeScreenshot() {
    if (screenshotFile.isEmpty())
        return;
    const QString file = screenshotFile;
    screenshotFile.clear();
    // Let the refresh that ended the read reach the screen first.
    QTimer::singleShot(200, this, [this, file] {
        if (!grab().save(file, "PNG"))
            qWarning("Unable to write the screenshot to %s", qPrintable(file));
        close();
    });
}
