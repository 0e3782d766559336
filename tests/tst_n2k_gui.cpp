// The NMEA 2000 device windows driven by mouse and keys, against the simulated network.
#include "N2KRig.h"

#include "app/MainForm.h"
#include "n2k/N2KDeviceInfo.h"
#include "n2k/N2KForm.h"
#include "n2k/N2KGrid.h"
#include "n2k/N2KView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace {

// Runs action on the modal window of type T as soon as it is shown (within 5 s).
template <class T>
void WhenShown(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window && window->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(window);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

template <class T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(QLatin1StringView(name));
    if (!child)
        qFatal("no control %s", name);
    return child;
}

QPoint CellCenter(TN2KGrid& grid, int row) {
    return grid.visualRect(grid.model()->index(row, 0)).center();
}

void ClickRow(TN2KGrid& grid, int row) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellCenter(grid, row));
}

// As the mouse does it: a click, then the second press that makes it a double-click.
void DoubleClickRow(TN2KGrid& grid, int row) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellCenter(grid, row));
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, CellCenter(grid, row));
}

void Click(QWidget* parent, const char* button) {
    QTest::mouseClick(Child<QPushButton>(parent, button), Qt::LeftButton);
}

// Replaces a field's text as a user does: click, select all, type.
void Type(QWidget* parent, const char* field, const QString& text) {
    auto* edit = Child<QLineEdit>(parent, field);
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

QString LabelText(QWidget* parent, const char* label) {
    return Child<QLabel>(parent, label)->text();
}

// The NMEA 2000 commands the multiplexer received.
QStringList Commands(TSimulator& sim) {
    return sim.ReceivedLines().filter(QRegularExpression("^\\$PZRQN[CI],"));
}

// A connected rig with its scan done and the list window on it.
struct TGuiRig : TN2KRig {
    explicit TGuiRig(const TSimulator::TOptions& options = N2KOptions())
        : TN2KRig(options)
        , form(*list, user) {}

    bool Ready() { return Connect() && ScanEnded(); }

    // Opens the list for browsing, runs the steps inside it, and closes it again.
    void Browse(const std::function<void(TN2KDeviceListForm*)>& inside) {
        WhenShown<TN2KDeviceListForm>([inside](TN2KDeviceListForm* shown) {
            inside(shown);
            if (shown->isVisible())
                Click(shown, "btnCancel");
        });
        form.Browse();
    }

    // Double-clicks the row in browse mode and runs the steps in the information window.
    void OpenDevice(int row, const std::function<void(TN2KDeviceInfoForm*)>& inside) {
        Browse([row, inside](TN2KDeviceListForm* shown) {
            WhenShown<TN2KDeviceInfoForm>([inside](TN2KDeviceInfoForm* info) {
                inside(info);
                // Whatever the steps left open is cancelled; a window that refuses to close
                // is closed past its checks, so that a failing test still ends.
                if (info->isVisible())
                    Click(info, "btnCancel");
                if (info->isVisible())
                    info->QDialog::done(QDialog::Rejected);
            });
            DoubleClickRow(shown->Grid(), row);
        });
    }

    TN2KDeviceListForm form;
};

} // namespace

class TestN2KGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void BrowseScansOnlyWhenEmpty();
    void GridShowsTheDevices();
    void RefreshScansAgain();
    void ListMessages_data();
    void ListMessages();
    void InformationTexts_data();
    void InformationTexts();
    void ChangesOnTheWire_data();
    void ChangesOnTheWire();
    void BadEntriesKeepTheWindowOpen_data();
    void BadEntriesKeepTheWindowOpen();
    void CancelNeverChecks_data();
    void CancelNeverChecks();
    void PickADevice_data();
    void PickADevice();
    void SaveAsCsv();
    void MainWindowOpensTheList();
};

void TestN2KGui::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void TestN2KGui::BrowseScansOnlyWhenEmpty() {
    // Without NMEA 2000 in its capabilities the identification starts no scan.
    TSimulator::TOptions options = N2KOptions();
    options.capabilities = 0xA000;
    TGuiRig rig(options);
    QVERIFY(rig.Connect());
    QVERIFY(rig.Synchronised());
    QCOMPARE(rig.list->Count(), 0);

    bool closeShown = false;
    rig.Browse([&](TN2KDeviceListForm* shown) {
        closeShown = !Child<QPushButton>(shown, "btnOK")->isVisible() &&
                     Child<QPushButton>(shown, "btnCancel")->text() == "Close";
        QTRY_COMPARE_WITH_TIMEOUT(shown->Grid().rowCount(), 4, 5000);
        QTRY_COMPARE(rig.list->ScanState(), nsIdle);
    });
    QVERIFY(closeShown);
    QCOMPARE(rig.sim->ReceivedLines().filter("$PZRQNR,60928,255*").size(), 1);

    // With devices in the list, browsing does not scan.
    rig.Browse([](TN2KDeviceListForm*) {});
    QVERIFY(rig.Synchronised());
    QCOMPARE(rig.sim->ReceivedLines().filter("$PZRQNR,60928,255*").size(), 1);
}

void TestN2KGui::GridShowsTheDevices() {
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    devices[3].loadEquivalency = 255; // the weather station's is unknown
    TGuiRig rig(N2KOptions(devices));
    QVERIFY(rig.Ready());
    QStringList headers;
    QList<int> widths;
    QList<QStringList> rows;
    QString count;
    bool messageHidden = false;
    rig.Browse([&](TN2KDeviceListForm* shown) {
        TN2KGrid& grid = shown->Grid();
        for (int c = 0; c < grid.columnCount(); ++c) {
            headers.append(grid.horizontalHeaderItem(c)->text());
            widths.append(grid.columnWidth(c));
        }
        for (int r = 0; r < grid.rowCount(); ++r) {
            QStringList row;
            for (int c = 0; c < grid.columnCount(); ++c)
                row.append(grid.item(r, c)->text());
            rows.append(row);
        }
        count = LabelText(shown, "lblDevCount");
        messageHidden = !Child<QLabel>(shown, "lblMessage")->isVisible();
    });
    QCOMPARE(headers, (QStringList{"Manufacturer", "Model ID", "Serial No.", "Version", "LE (mA)",
                                   "SA", "DI", "SI"}));
    QCOMPARE(widths, (QList<int>{150, 200, 150, 88, 48, 25, 25, 25}));
    QCOMPARE(rows.size(), 4);
    QCOMPARE(rows[0],
             (QStringList{"Garmin", "GPS 24xd", "4V1027736", "5.30", "100", "10", "0", "0"}));
    QCOMPARE(rows[1], (QStringList{"Raymarine", "EV-1 Course Computer", "0160487", "3.11", "50",
                                   "28", "0", "0"}));
    QCOMPARE(rows[3][4], "n/a");
    QCOMPARE(count, "Device count: 4");
    QVERIFY(messageHidden);
}

void TestN2KGui::RefreshScansAgain() {
    TGuiRig rig;
    QVERIFY(rig.Ready());
    bool disabledWhileScanning = false;
    QString message;
    bool enabledAfter = false;
    rig.Browse([&](TN2KDeviceListForm* shown) {
        Click(shown, "btnScan");
        disabledWhileScanning = !Child<QPushButton>(shown, "btnScan")->isEnabled();
        message = LabelText(shown, "lblMessage");
        QTRY_VERIFY_WITH_TIMEOUT(Child<QPushButton>(shown, "btnScan")->isEnabled(), 5000);
        enabledAfter = shown->Grid().rowCount() == 4;
    });
    QVERIFY(disabledWhileScanning);
    QCOMPARE(message, "Scanning NMEA 2000 network...");
    QVERIFY(enabledAfter);
    QCOMPARE(rig.sim->ReceivedLines().filter("$PZRQNR,60928,255*").size(), 2);
}

void TestN2KGui::ListMessages_data() {
    QTest::addColumn<bool>("devices");
    QTest::addColumn<QByteArray>("claim"); // arriving after the scan
    QTest::addColumn<QString>("message");
    QTest::newRow("nobody there") << false << QByteArray() << "No NMEA 2000 devices found";
    QTest::newRow("a new device claims") << true << QByteArray("$PZRQNC,R,C0509600E7000001,90")
                                         << "New NMEA 2000 device(s) detected, please refresh";
}

void TestN2KGui::ListMessages() {
    QFETCH(bool, devices);
    QFETCH(QByteArray, claim);
    QFETCH(QString, message);
    TGuiRig rig(N2KOptions(devices ? DefaultN2KDevices() : QList<TSimN2KDevice>{}));
    QVERIFY(rig.Ready());
    QString shownText;
    bool visible = false;
    rig.Browse([&](TN2KDeviceListForm* shown) {
        if (!claim.isEmpty()) {
            rig.sim->SendUnasked(claim);
            QTRY_COMPARE(rig.list->ScanState(), nsChanged);
        }
        QTRY_COMPARE(rig.list->ScanState(), claim.isEmpty() ? nsIdle : nsChanged);
        shownText = LabelText(shown, "lblMessage");
        visible = Child<QLabel>(shown, "lblMessage")->isVisible();
    });
    QCOMPARE(shownText, message);
    QVERIFY(visible);
}

void TestN2KGui::InformationTexts_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("course computer") << 1
                                     << QStringList{"EV-1 Course Computer",
                                                    "EV-1 Course Computer",
                                                    "Raymarine",
                                                    "3.11",
                                                    "0160487",
                                                    "2.000",
                                                    "18944",
                                                    "B",
                                                    "50 mA",
                                                    "28",
                                                    "0",
                                                    "0"};
    QTest::newRow("unknown values")
        << 3 << QStringList{"WSO100", "Rev B", "Maretron", "1.2.3", "1314159", "1.301",
                            "n/a",    "n/a",   "n/a",      "66",    "4",       "7"};
}

void TestN2KGui::InformationTexts() {
    QFETCH(int, row);
    QFETCH(QStringList, texts);
    QList<TSimN2KDevice> devices = DefaultN2KDevices();
    TSimN2KDevice& wind = devices[3];
    wind.productCode = 0xFFFF;
    wind.certificationLevel = 2;
    wind.loadEquivalency = 255;
    wind.name = N2KWithInstances(wind.name, 4, 7);
    TGuiRig rig(N2KOptions(devices));
    QVERIFY(rig.Ready());
    QStringList shown;
    QWidget* focus = nullptr;
    QString caption;
    rig.OpenDevice(row, [&](TN2KDeviceInfoForm* info) {
        caption = info->windowTitle();
        for (const char* label :
             {"lblDevice", "lblModel", "lblManufacturer", "lblSoftwareVersion", "lblSerialNumber",
              "lblN2KVersion", "lblProductCode", "lblCertificationLevel", "lblLoadEquivalency"})
            shown.append(LabelText(info, label));
        for (const char* field : {"edtSA", "edtDI", "edtSI"})
            shown.append(Child<QLineEdit>(info, field)->text());
        focus = info->focusWidget();
    });
    QCOMPARE(caption, "Device Information");
    QCOMPARE(shown, texts);
    QCOMPARE(focus, rig.form.InfoForm().findChild<QPushButton*>("btnCancel"));
}

void TestN2KGui::ChangesOnTheWire_data() {
    QTest::addColumn<QStringList>("typed"); // SA, DI, SI; empty keeps the field
    QTest::addColumn<QStringList>("sent");
    // The depth transducer: row 2, address 35, NAME C078820010E1B7F3, instances 0 and 0.
    QTest::newRow("system instance 3") << QStringList{"", "", "3"} << QStringList{"$PZRQNI,35,0,3"};
    QTest::newRow("source address 40")
        << QStringList{"40", "", ""} << QStringList{"$PZRQNC,C,C078820010E1B7F3,40"};
    QTest::newRow("device instance 200")
        << QStringList{"", "200", ""} << QStringList{"$PZRQNI,35,200,0"};
    QTest::newRow("address and both instances")
        << QStringList{"40", "2", "1"}
        << QStringList{"$PZRQNI,35,2,1", "$PZRQNC,C,C178820210E1B7F3,40"};
    QTest::newRow("the same values") << QStringList{"35", "0", "0"} << QStringList{};
}

void TestN2KGui::ChangesOnTheWire() {
    QFETCH(QStringList, typed);
    QFETCH(QStringList, sent);
    TGuiRig rig;
    QVERIFY(rig.Ready());
    rig.sim->ClearReceived();
    rig.OpenDevice(2, [&](TN2KDeviceInfoForm* info) {
        const char* fields[] = {"edtSA", "edtDI", "edtSI"};
        for (int i = 0; i < 3; ++i) {
            if (!typed[i].isEmpty())
                Type(info, fields[i], typed[i]);
        }
        Click(info, "btnOK");
    });
    QVERIFY(rig.user.Messages.isEmpty());
    QVERIFY(rig.Synchronised());
    QStringList wire;
    for (const QString& text : sent)
        wire.append(QString::fromLatin1(NmeaLine(text.toLatin1()).trimmed()));
    QCOMPARE(Commands(*rig.sim), wire);
    // The list shows the device as before until it claims again.
    QCOMPARE(rig.form.Grid().item(2, 5)->text(), "35");
}

void TestN2KGui::BadEntriesKeepTheWindowOpen_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("source address 252") << "edtSA"
                                        << "252"
                                        << "Illegal Source Address entered (0..251)";
    QTest::newRow("device instance 256") << "edtDI"
                                         << "256"
                                         << "Illegal Device Instance entered (0..255)";
    QTest::newRow("system instance 16") << "edtSI"
                                        << "16"
                                        << "Illegal Device Instance entered (0..15)";
    QTest::newRow("empty source address") << "edtSA"
                                          << ""
                                          << "'' is not a valid integer value";
}

void TestN2KGui::BadEntriesKeepTheWindowOpen() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    TGuiRig rig;
    QVERIFY(rig.Ready());
    rig.sim->ClearReceived();
    bool stayedOpen = false;
    rig.OpenDevice(2, [&](TN2KDeviceInfoForm* info) {
        Type(info, field.toLatin1().constData(), text);
        Click(info, "btnOK");
        stayedOpen = info->isVisible();
    });
    QVERIFY(stayedOpen);
    QCOMPARE(rig.user.Messages, QStringList{message});
    QVERIFY(rig.Synchronised());
    QCOMPARE(Commands(*rig.sim), QStringList{});
}

void TestN2KGui::CancelNeverChecks_data() {
    QTest::addColumn<bool>("escape"); // closed with the Escape key, not the Cancel button
    QTest::newRow("Cancel button") << false;
    QTest::newRow("Escape key") << true;
}

void TestN2KGui::CancelNeverChecks() {
    QFETCH(bool, escape);
    TGuiRig rig;
    QVERIFY(rig.Ready());
    rig.sim->ClearReceived();
    bool closed = false;
    rig.OpenDevice(2, [&](TN2KDeviceInfoForm* info) {
        Type(info, "edtSA", "252");
        Type(info, "edtSI", "");
        if (escape)
            QTest::keyClick(info, Qt::Key_Escape);
        else
            Click(info, "btnCancel");
        closed = !info->isVisible();
    });
    QVERIFY(closed);
    QCOMPARE(rig.user.Messages, QStringList{});
    QCOMPARE(rig.form.InfoForm().result(), int(QDialog::Rejected));
    QVERIFY(rig.Synchronised());
    QCOMPARE(Commands(*rig.sim), QStringList{});
}

void TestN2KGui::PickADevice_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("result");
    QTest::addColumn<quint64>("picked");
    // Asked for the depth transducer; the user takes the weather station, or keeps the depth.
    QTest::newRow("double-click") << "double-click" << int(QDialog::Accepted)
                                  << Q_UINT64_C(0xC0AA82001120D31C);
    QTest::newRow("click and OK") << "click, OK" << int(QDialog::Accepted)
                                  << Q_UINT64_C(0xC0AA82001120D31C);
    QTest::newRow("OK at once") << "OK" << int(QDialog::Accepted) << Q_UINT64_C(0xC078820010E1B7F3);
    QTest::newRow("Cancel") << "Cancel" << int(QDialog::Rejected) << Q_UINT64_C(0xC078820010E1B7F3);
}

void TestN2KGui::PickADevice() {
    QFETCH(QString, how);
    QFETCH(int, result);
    QFETCH(quint64, picked);
    TGuiRig rig;
    QVERIFY(rig.Ready());
    int preselected = -1;
    bool pickButtons = false;
    WhenShown<TN2KDeviceListForm>([&](TN2KDeviceListForm* shown) {
        preselected = shown->Grid().currentRow();
        pickButtons = Child<QPushButton>(shown, "btnOK")->isVisible() &&
                      Child<QPushButton>(shown, "btnCancel")->text() == "Cancel";
        if (how == "double-click") {
            DoubleClickRow(shown->Grid(), 3);
        } else if (how == "click, OK") {
            ClickRow(shown->Grid(), 3);
            Click(shown, "btnOK");
        } else {
            Click(shown, how == "OK" ? "btnOK" : "btnCancel");
        }
        // A window that stayed open fails the test below instead of waiting for ever.
        if (shown->isVisible())
            QTimer::singleShot(0, shown, [shown] { shown->done(-1); });
    });
    QCOMPARE(rig.form.Pick(Q_UINT64_C(0xC078820010E1B7F3)), result);
    QCOMPARE(preselected, 2);
    QVERIFY(pickButtons);
    QVERIFY(rig.form.PickedDevice());
    QCOMPARE(rig.form.PickedDevice()->Name, picked);
    // No information window in pick mode.
    QVERIFY(!rig.form.InfoForm().isVisible());
    QCOMPARE(Commands(*rig.sim), QStringList{});
}

void TestN2KGui::SaveAsCsv() {
    TGuiRig rig;
    QVERIFY(rig.Ready());
    QTemporaryDir dir;
    const QString typed = dir.filePath("devices");
    rig.Browse([&](TN2KDeviceListForm* shown) {
        WhenShown<QFileDialog>([&](QFileDialog* dialog) {
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(name);
            QTest::keyClicks(name, typed);
            // The file name completer may pop up its list of names at any moment (it reads the
            // folder on a thread): the user waves it away and presses Return again.
            for (int i = 0; i < 20 && dialog->isVisible(); ++i) {
                QAbstractItemView* names = name->completer() ? name->completer()->popup() : nullptr;
                if (names && names->isVisible())
                    QTest::keyClick(names, Qt::Key_Escape);
                else
                    QTest::keyClick(name, Qt::Key_Return);
                QTest::qWait(20);
            }
            if (dialog->isVisible())
                dialog->reject();
        });
        Click(shown, "btnSave");
    });
    QFile file(typed + ".csv");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray saved = file.readAll();
    QVERIFY(saved.startsWith("\xEF\xBB\xBFManufacturer,Model ID,Serial No.,"));
    QCOMPARE(saved, "\xEF\xBB\xBF" + N2KDeviceListCsv(*rig.list).toUtf8());
    QCOMPARE(saved.count("\r\n"), 5);

    // A file that cannot be made is named, and nothing is left behind.
    QVERIFY(!rig.form.SaveCsv(dir.filePath("missing/devices.csv")));
    QCOMPARE(rig.user.Messages,
             QStringList{"Error Creating \"" + dir.filePath("missing/devices.csv") + "\""});
}

void TestN2KGui::MainWindowOpensTheList() {
    TScriptedUser user;
    TSimulator sim(N2KOptions());
    sim.Start();
    TMainForm form(&user);
    form.SetPersistSettings(false);
    form.show();
    QSignalSpy finished(&form.Session(), &TSession::ReadFinished);
    form.ConnectTo(ParseLinkUrl(QStringLiteral("tcp:127.0.0.1:%1").arg(sim.TcpPort())));
    QVERIFY(finished.count() > 0 || finished.wait(10000));
    QTRY_COMPARE_WITH_TIMEOUT(form.DeviceList().Count(), 4, 5000);

    int rows = -1;
    QString caption;
    WhenShown<TN2KDeviceListForm>([&](TN2KDeviceListForm* shown) {
        rows = shown->Grid().rowCount();
        caption = shown->windowTitle();
        Click(shown, "btnCancel");
    });
    auto* button = form.findChild<QPushButton*>("btnDeviceList");
    QVERIFY(button);
    QVERIFY(button->isEnabled());
    auto* tabs = form.findChild<QTabWidget*>("pcConfig");
    const int page = tabs->indexOf(form.findChild<QWidget*>("tsNmea2000"));
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(page).center());
    QVERIFY(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(rows, 4);
    QCOMPARE(caption, "NMEA 2000 Device List");
    QVERIFY(user.Errors.isEmpty());
}

QTEST_MAIN(TestN2KGui)
#include "tst_n2k_gui.moc"
