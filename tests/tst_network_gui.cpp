// The network dialogs driven as a user would, against simulated device servers on loopback
// addresses.
#include "ProgressUser.h"

#include "app/MainForm.h"
#include "firmware/ProgressForm.h"
#include "network/AssignIP.h"
#include "network/Network.h"
#include "network/NetworkSettings.h"
#include "network/XportList.h"
#include "sim/XPortSim.h"
#include "ui_MainForm.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

namespace {

const QHostAddress Hub(QStringLiteral("127.0.19.1"));
const QString FirstServer = QStringLiteral("127.0.19.2");

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    for (int value : values)
        bytes.append(char(value));
    return bytes;
}

// Steps for a modal dialog, run once its event loop runs. Whatever the steps leave open (a step
// failed) is closed afterwards, so that a failure cannot hang the test.
void WhileModal(std::function<void()> steps) {
    QTimer::singleShot(0, qApp, [steps = std::move(steps)] {
        const QPointer<QDialog> dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        steps();
        if (dialog && dialog->isVisible())
            dialog->reject();
    });
}

void Click(QWidget* widget) {
    QVERIFY2(widget->isVisible() && widget->isEnabled(), qPrintable(widget->objectName()));
    QTest::mouseClick(widget, Qt::LeftButton);
}

void Retype(QLineEdit* edit, const QString& text) {
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void ClickItem(QListWidget* list, int row, bool twice = false) {
    QListWidgetItem* item = list->item(row);
    QVERIFY(item);
    const QPoint at = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

QStringList Items(const QListWidget* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items.append(list->item(i)->text());
    items.sort();
    return items;
}

// The main window with simulated device servers behind a hub of their own.
struct TRig {
    // ownUser: the window answers with its own message boxes and progress window.
    explicit TRig(int count = 3, int restartMs = 50, bool ownUser = false) {
        TXPortSimOptions simOptions;
        simOptions.Hub = Hub;
        simOptions.Servers = XPortSimServers(count, QHostAddress(FirstServer));
        simOptions.RestartMs = restartMs;
        sim = std::make_unique<TXPortSimulator>(simOptions);
        sim->Start();
        form = std::make_unique<TMainForm>(ownUser ? nullptr : &user);
        form->SetPersistSettings(false);
        TXPortOptions options;
        options.Target = Hub;
        options.Port = sim->Port();
        options.Bind = QHostAddress(QHostAddress::LocalHost);
        options.ReceiveTimeoutMs = 300;
        options.ConnectTimeoutMs = 1000;
        options.ReadTimeoutMs = 300;
        options.VerifyTimeoutMs = 200;
        options.PauseMs = 20;
        form->SetXPortOptions(options);
        form->show();
        // A network link, so that the Network submenu shows.
        Ui().cbPort->setCurrentIndex(2);
        form->RefreshControls();
    }
    ~TRig() {
        form.reset();
        sim.reset();
    }
    Ui::TMainForm& Ui() { return form->Controls(); }
    void SetHost(const QString& host) { Retype(Ui().edtMuxIP, host); }

    TProgressUser user;
    std::unique_ptr<TXPortSimulator> sim;
    std::unique_ptr<TMainForm> form;
};

} // namespace

class TestNetworkGui : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void NetworkSetupNeedsAHost();
    void SearchPicksAHost_data();
    void SearchPicksAHost();
    void SearchFindsNothing();
    void FactoryResetFromTheList();
    void ChangeIPFromTheList();
    void AssignIPChecksItsInput();
    void AssignIPShowsTheProgressWindow();

    void NetworkSetupShowsTheRecord_data();
    void NetworkSetupShowsTheRecord();
    void NetworkSetupWrites_data();
    void NetworkSetupWrites();
    void NetworkSetupRefusesBadInput_data();
    void NetworkSetupRefusesBadInput();
    void NetworkSetupFailedWriteChangesNothing();
    void NetworkSetupUnreadable();
    void NetworkSetupUnverified();

    void NoCloseWhileAJobRuns_data();
    void NoCloseWhileAJobRuns();
};

void TestNetworkGui::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void TestNetworkGui::NetworkSetupNeedsAHost() {
    TRig rig(1);
    rig.Ui().edtMuxIP->clear();
    QVERIFY(rig.Ui().miNetwork->menuAction()->isVisible());
    rig.Ui().miNetwork->popup(rig.form->mapToGlobal(QPoint(10, 10)));
    QVERIFY(!rig.Ui().miNetworkSetup->isEnabled());
    rig.Ui().miNetwork->hide();

    rig.SetHost(FirstServer);
    rig.Ui().miNetwork->popup(rig.form->mapToGlobal(QPoint(10, 10)));
    QVERIFY(rig.Ui().miNetworkSetup->isEnabled());
    rig.Ui().miNetwork->hide();
}

void TestNetworkGui::SearchPicksAHost_data() {
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("OK") << false;
    QTest::newRow("double-click") << true;
}

void TestNetworkGui::SearchPicksAHost() {
    QFETCH(bool, doubleClick);
    TRig rig;
    rig.SetHost("somewhere");
    TXPortListDlg& dlg = rig.form->XPortListDlg();
    QString picked;
    WhileModal([&] {
        QCOMPARE(dlg.windowTitle(), "Search results");
        QCOMPARE(dlg.lblMessage->text(), "Select a Corvanta-PX:");
        QTRY_VERIFY(dlg.lbxIPList->isVisible());
        QCOMPARE(Items(dlg.lbxIPList),
                 (QStringList{"127.0.19.2  (00-20-4A-C9-19-08)", "127.0.19.3  (00-20-4A-C9-19-09)",
                              "127.0.19.4  (00-20-4A-C9-19-0A)"}));
        QVERIFY(!dlg.lblNotFound->isVisible());
        QVERIFY(!dlg.btnOK->isEnabled());
        QVERIFY(!dlg.btnReset->isEnabled());
        QVERIFY(!dlg.btnChangeIP->isEnabled());
        picked = dlg.lbxIPList->item(1)->text().section(' ', 0, 0);
        if (doubleClick) {
            ClickItem(dlg.lbxIPList, 1, true);
            return;
        }
        ClickItem(dlg.lbxIPList, 1);
        QVERIFY(dlg.btnReset->isEnabled());
        QVERIFY(dlg.btnChangeIP->isEnabled());
        QCOMPARE(dlg.SelectedMac(), dlg.lbxIPList->item(1)->text().section('(', 1).left(17));
        Click(dlg.btnOK);
    });
    rig.Ui().miSearch->trigger();
    QVERIFY(!picked.isEmpty());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(rig.Ui().edtMuxIP->text(), picked);
}

void TestNetworkGui::SearchFindsNothing() {
    TRig rig;
    rig.sim->SetFault(-1, xfNoAnswer);
    rig.SetHost("somewhere");
    TXPortListDlg& dlg = rig.form->XPortListDlg();
    WhileModal([&] {
        // The search ends after its time-out without a datagram.
        QTRY_VERIFY(!rig.sim->Received(0).isEmpty());
        QTRY_VERIFY(dlg.lblNotFound->isVisible());
        QCOMPARE(dlg.lblNotFound->text(), "No Corvanta-NX found");
        QVERIFY(!dlg.lbxIPList->isVisible());
        QVERIFY(!dlg.btnOK->isEnabled());
        Click(dlg.btnCancel);
    });
    rig.Ui().miSearch->trigger();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(rig.Ui().edtMuxIP->text(), "somewhere");
    QVERIFY(rig.user.Messages.isEmpty());
}

void TestNetworkGui::FactoryResetFromTheList() {
    TRig rig(2);
    TXPortListDlg& dlg = rig.form->XPortListDlg();
    rig.user.Answers = {false, true};
    WhileModal([&] {
        QTRY_COMPARE(dlg.lbxIPList->count(), 2);
        dlg.lbxIPList->sortItems();
        ClickItem(dlg.lbxIPList, 0);
        QCOMPARE(dlg.SelectedIP(), FirstServer);
        // No: nothing goes out.
        Click(dlg.btnReset);
        QCOMPARE(rig.user.Questions, QStringList{FactoryResetQuestion});
        QCOMPARE(rig.sim->Received(0).size(), 1); // the search
        // Yes.
        Click(dlg.btnReset);
        QCOMPARE(rig.sim->Setup(0).toHex(), TXPortSetup::FactoryDefaults().Bytes().toHex());
        // Searched again.
        QCOMPARE(rig.sim->Received(0).last(), Bytes({0, 0, 0, 0xF6}));
        QVERIFY(!dlg.btnReset->isEnabled());
        QCOMPARE(dlg.lbxIPList->count(), 2);
        Click(dlg.btnCancel);
    });
    rig.Ui().miSearch->trigger();
    QCOMPARE(rig.user.Progress.mid(0, 3),
             (QStringList{"show Restoring Default Network Settings...", "task ", "range 0-20"}));
    QCOMPARE(rig.user.Positions().size(), 22);
    QCOMPARE(rig.user.Progress.last(), "hide");
    QVERIFY(rig.user.Messages.isEmpty());
    QVERIFY(!rig.user.Busy);
}

void TestNetworkGui::ChangeIPFromTheList() {
    TRig rig(2);
    TXPortListDlg& list = rig.form->XPortListDlg();
    TAssignIPDlg& assign = rig.form->AssignIPDlg();
    WhileModal([&] {
        QTRY_COMPARE(list.lbxIPList->count(), 2);
        list.lbxIPList->sortItems();
        ClickItem(list.lbxIPList, 1);
        WhileModal([&] {
            QCOMPARE(assign.windowTitle(), "Assign IP Address");
            QCOMPARE(assign.edtMAC->text(), "00-20-4A-C9-19-09");
            QCOMPARE(assign.focusWidget(), assign.edtIP);
            QVERIFY(assign.edtIP->text().isEmpty());
            QTest::keyClicks(assign.edtIP, "127.0.19.66");
            Click(assign.btnOK);
        });
        Click(list.btnChangeIP);
        QCOMPARE(assign.result(), int(QDialog::Accepted));
        // Searched again: the device server answers from its new address.
        QCOMPARE(Items(list.lbxIPList), (QStringList{"127.0.19.2  (00-20-4A-C9-19-08)",
                                                     "127.0.19.66  (00-20-4A-C9-19-09)"}));
        Click(list.btnCancel);
    });
    rig.Ui().miSearch->trigger();
    QCOMPARE(rig.sim->Address(1), QHostAddress("127.0.19.66"));
}

void TestNetworkGui::AssignIPChecksItsInput() {
    TRig rig(2);
    TAssignIPDlg& dlg = rig.form->AssignIPDlg();
    dlg.SetMac("left over");
    bool hiddenWhileWaiting = false;
    rig.user.OnPosition = [&](int position) {
        if (position == 10)
            hiddenWhileWaiting = !dlg.edtMAC->isVisible() && !dlg.btnOK->isVisible();
    };
    WhileModal([&] {
        // From the menu the MAC field starts empty and has the focus.
        QVERIFY(dlg.edtMAC->text().isEmpty());
        QCOMPARE(dlg.focusWidget(), dlg.edtMAC);
        QTest::keyClicks(dlg.edtMAC, "00:20:4a:c9:19:08");
        QTest::keyClicks(dlg.edtIP, "127.0.19.77");
        Click(dlg.btnOK);
        QCOMPARE(rig.user.Messages, QStringList{"Invalid MAC or IP address entered"});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.focusWidget(), dlg.edtMAC);

        Retype(dlg.edtMAC, "00-20-4a-c9-19-08");
        Retype(dlg.edtIP, "127.0.19.255");
        Click(dlg.btnOK);
        QCOMPARE(rig.user.Messages.size(), 2);
        QCOMPARE(dlg.focusWidget(), dlg.edtIP);
        QVERIFY(rig.sim->Received(0).isEmpty());

        Retype(dlg.edtIP, "127.0.19.77");
        Click(dlg.btnOK);
    });
    rig.Ui().miAssignIP->trigger();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(hiddenWhileWaiting);
    QVERIFY(dlg.edtMAC->isVisibleTo(&dlg));
    QCOMPARE(rig.sim->Received(1),
             QList<QByteArray>{Bytes({0,   0,   0, 0xFC, 'I',  'P',  '-', 'S', 'E', 'T',
                                      'U', 'P', 0, 0,    0x19, 0x08, 127, 0,   19,  77})});
    QCOMPARE(rig.user.Progress.mid(0, 3),
             (QStringList{"show Assigning IP Address...", "task ", "range 0-19"}));
    QCOMPARE(rig.user.Positions().size(), 21);
    QCOMPARE(rig.user.Progress.last(), "hide");
    QTRY_COMPARE(rig.sim->Address(0), QHostAddress("127.0.19.77"));
}

void TestNetworkGui::AssignIPShowsTheProgressWindow() {
    TRig rig(1, 50, true);
    TAssignIPDlg& dlg = rig.form->AssignIPDlg();
    auto* progress = rig.form->findChild<TProgress*>();
    QVERIFY(progress);
    QStringList seen;
    WhileModal([&] {
        QTest::keyClicks(dlg.edtMAC, "00-20-4A-C9-19-08");
        QTest::keyClicks(dlg.edtIP, "127.0.19.88");
        // Halfway through the twenty steps.
        QTimer::singleShot(200, progress, [&] {
            seen << progress->windowTitle() << QString::number(progress->isVisible())
                 << QString::number(progress->Bar()->maximum())
                 << QString::number(progress->Bar()->value() > 0) << progress->lblTask()->text();
        });
        Click(dlg.btnOK);
    });
    rig.Ui().miAssignIP->trigger();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(seen, (QStringList{"Assigning IP Address...", "1", "19", "1", ""}));
    QVERIFY(!progress->isVisible());
}

void TestNetworkGui::NetworkSetupShowsTheRecord_data() {
    QTest::addColumn<int>("connectMode");
    QTest::addColumn<QByteArray>("destination");
    QTest::addColumn<bool>("udp");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("shown");
    QTest::newRow("UDP broadcast") << 0xCC << Bytes({255, 255, 255, 255}) << true << "Broadcast"
                                   << "0.0.0.0";
    QTest::newRow("UDP directed") << 0xCC << Bytes({192, 168, 1, 10}) << true << "Directed"
                                  << "192.168.1.10";
    QTest::newRow("TCP") << 0xC0 << Bytes({0, 0, 0, 0}) << false << "Broadcast"
                         << "0.0.0.0";
}

void TestNetworkGui::NetworkSetupShowsTheRecord() {
    QFETCH(int, connectMode);
    QFETCH(QByteArray, destination);
    QFETCH(bool, udp);
    QFETCH(QString, mode);
    QFETCH(QString, shown);
    TRig rig(1);
    QByteArray setup = XPortSimSetup(QHostAddress(FirstServer));
    setup[10] = 8; // 255.255.255.0
    setup.replace(28, 4, destination);
    setup[32] = char(connectMode);
    rig.sim->SetSetup(0, setup);
    rig.SetHost(FirstServer);
    rig.Ui().edtMuxPort->setText("10110");
    TNetworkDlg& dlg = rig.form->NetworkDlg();
    WhileModal([&] {
        QCOMPARE(dlg.windowTitle(), "Corvanta-PX Network Settings");
        QTRY_VERIFY(dlg.btnOK->isEnabled());
        QCOMPARE(dlg.edtIP->text(), FirstServer);
        QCOMPARE(dlg.edtMask->text(), "255.255.255.0");
        QCOMPARE(dlg.edtGatewayIP->text(), "127.0.0.1");
        QCOMPARE(dlg.edtPort->text(), "10110");
        QCOMPARE(dlg.rbUDP->isChecked(), udp);
        QCOMPARE(dlg.rbTCP->isChecked(), !udp);
        QCOMPARE(dlg.cbUDPMode->currentText(), mode);
        QCOMPARE(dlg.edtDestIP->text(), shown);
        QCOMPARE(dlg.cbUDPMode->isEnabled(), udp);
        QCOMPARE(dlg.edtDestIP->isEnabled(), udp && mode == "Directed");

        // The enabled states follow the clicks.
        Click(dlg.rbUDP);
        QVERIFY(dlg.cbUDPMode->isEnabled());
        QTest::keyClick(dlg.cbUDPMode, mode == "Directed" ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(dlg.edtDestIP->isEnabled(), mode != "Directed");
        Click(dlg.rbTCP);
        QVERIFY(!dlg.cbUDPMode->isEnabled());
        QVERIFY(!dlg.edtDestIP->isEnabled());
        Click(dlg.btnCancel);
    });
    rig.Ui().miNetworkSetup->trigger();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    // Nothing written, nothing changed in the window.
    QCOMPARE(rig.sim->Received(0), QList<QByteArray>{Bytes({0, 0, 0, 0xF8})});
    QCOMPARE(rig.Ui().cbPort->currentIndex(), 2);
    QCOMPARE(rig.Ui().edtMuxIP->text(), FirstServer);
}

void TestNetworkGui::NetworkSetupWrites_data() {
    QTest::addColumn<QString>("newIP"); // empty: the field is not touched
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("host");
    QTest::newRow("same address") << "" << 0xFA << "127.0.19.2";
    QTest::newRow("same address typed again") << "127.0.19.2" << 0xFD << "127.0.19.2";
    QTest::newRow("new address") << "127.0.19.70" << 0xFD << "127.0.19.70";
    QTest::newRow("no address") << "0.0.0.0" << 0xFD << "127.0.19.2";
}

void TestNetworkGui::NetworkSetupWrites() {
    QFETCH(QString, newIP);
    QFETCH(int, code);
    QFETCH(QString, host);
    TRig rig(1);
    rig.SetHost(FirstServer);
    TNetworkDlg& dlg = rig.form->NetworkDlg();
    bool hiddenWhileWaiting = false;
    rig.user.OnPosition = [&](int position) {
        if (position == 5)
            hiddenWhileWaiting = !dlg.gbIPSettings->isVisible() && !dlg.btnOK->isVisible();
    };
    WhileModal([&] {
        QTRY_VERIFY(dlg.btnOK->isEnabled());
        if (!newIP.isEmpty())
            Retype(dlg.edtIP, newIP);
        Retype(dlg.edtPort, "2000");
        Click(dlg.rbUDP);
        QTest::keyClick(dlg.cbUDPMode, Qt::Key_Down);
        QCOMPARE(dlg.cbUDPMode->currentText(), "Directed");
        Retype(dlg.edtDestIP, "127.0.19.9");
        Click(dlg.btnOK);
    });
    rig.Ui().miNetworkSetup->trigger();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY2(rig.user.Messages.isEmpty(), qPrintable(rig.user.Messages.join('|')));
    QVERIFY(hiddenWhileWaiting);
    QVERIFY(dlg.gbIPSettings->isVisibleTo(&dlg));

    QByteArray expected = XPortSimSetup(QHostAddress(FirstServer));
    expected[3] = char(code);
    if (newIP == "0.0.0.0")
        expected.replace(4, 4, Bytes({0, 0, 0, 0}));
    else if (!newIP.isEmpty())
        expected.replace(4, 4, Bytes({127, 0, 19, newIP.section('.', 3).toInt()}));
    expected.replace(24, 10, Bytes({0xD0, 0x07, 0xD0, 0x07, 127, 0, 19, 9, 0xCC, 1}));
    expected[39] = 0x30;
    QCOMPARE(rig.sim->Setup(0).toHex(), expected.toHex());

    // The window connects the new way next time.
    QCOMPARE(rig.Ui().cbPort->currentIndex(), 1);
    QCOMPARE(rig.Ui().edtMuxIP->text(), host);
    QCOMPARE(rig.Ui().edtMuxPort->text(), "2000");
    QVERIFY(rig.Ui().btnConnect->isEnabled());
}

void TestNetworkGui::NetworkSetupRefusesBadInput_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::newRow("host part zeros") << "edtIP"
                                     << "127.0.0.0";
    QTest::newRow("host part ones") << "edtIP"
                                    << "127.255.255.255";
    QTest::newRow("no address") << "edtIP"
                                << "127.0.19";
    QTest::newRow("mask with a gap") << "edtMask"
                                     << "255.0.255.0";
    QTest::newRow("gateway") << "edtGatewayIP"
                             << "gateway";
    QTest::newRow("port 0") << "edtPort"
                            << "0";
    QTest::newRow("port 70000") << "edtPort"
                                << "70000";
    QTest::newRow("destination") << "edtDestIP"
                                 << "127.0.19";
}

void TestNetworkGui::NetworkSetupRefusesBadInput() {
    QFETCH(QString, field);
    QFETCH(QString, text);
    TRig rig(1);
    rig.SetHost(FirstServer);
    rig.Ui().edtMuxPort->setText("10110");
    TNetworkDlg& dlg = rig.form->NetworkDlg();
    WhileModal([&] {
        QTRY_VERIFY(dlg.btnOK->isEnabled());
        Click(dlg.rbUDP);
        QTest::keyClick(dlg.cbUDPMode, Qt::Key_Down);
        auto* edit = dlg.findChild<QLineEdit*>(field);
        QVERIFY(edit);
        Retype(edit, text);
        Click(dlg.btnOK);
        QCOMPARE(rig.user.Messages,
                 QStringList{"Invalid IP address, network mask or port number entered"});
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.focusWidget(), edit);
        Click(dlg.btnCancel);
    });
    rig.Ui().miNetworkSetup->trigger();
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(rig.sim->Received(0), QList<QByteArray>{Bytes({0, 0, 0, 0xF8})});
    QCOMPARE(rig.Ui().edtMuxPort->text(), "10110");
}

void TestNetworkGui::NetworkSetupFailedWriteChangesNothing() {
    TRig rig(1);
    rig.sim->SetFault(0, xfWrongCode, 0xFB);
    rig.SetHost(FirstServer);
    rig.Ui().edtMuxPort->setText("10110");
    TNetworkDlg& dlg = rig.form->NetworkDlg();
    WhileModal([&] {
        QTRY_VERIFY(dlg.btnOK->isEnabled());
        Retype(dlg.edtIP, "127.0.19.71");
        Retype(dlg.edtPort, "2000");
        Click(dlg.rbUDP);
        Click(dlg.btnOK);
    });
    rig.Ui().miNetworkSetup->trigger();
    QCOMPARE(rig.user.Messages, QStringList{"Cannot connect to Corvanta"});
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(rig.user.Progress.isEmpty());
    QCOMPARE(rig.Ui().cbPort->currentIndex(), 2);
    QCOMPARE(rig.Ui().edtMuxIP->text(), FirstServer);
    QCOMPARE(rig.Ui().edtMuxPort->text(), "10110");
}

void TestNetworkGui::NetworkSetupUnreadable() {
    TRig rig(1);
    rig.SetHost("127.0.19.99");
    TNetworkDlg& dlg = rig.form->NetworkDlg();
    WhileModal([&] {
        QVERIFY(!dlg.btnOK->isEnabled());
        QVERIFY(!dlg.edtIP->isEnabled());
        QCOMPARE(dlg.edtIP->text(), "0.0.0.0");
        QTRY_VERIFY(!dlg.isVisible());
    });
    rig.Ui().miNetworkSetup->trigger();
    QCOMPARE(rig.user.Messages, QStringList{"Cannot connect to Corvanta"});
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(rig.Ui().edtMuxIP->text(), "127.0.19.99");
}

void TestNetworkGui::NetworkSetupUnverified() {
    TRig rig(1, 60000); // the device server does not come back in time
    rig.SetHost(FirstServer);
    TNetworkDlg& dlg = rig.form->NetworkDlg();
    WhileModal([&] {
        QTRY_VERIFY(dlg.btnOK->isEnabled());
        Retype(dlg.edtPort, "2001");
        Click(dlg.btnOK);
    });
    rig.Ui().miNetworkSetup->trigger();
    QCOMPARE(rig.user.Messages, QStringList{"Unable to verify network settings!"});
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(rig.user.Positions().size(), 21);
    QCOMPARE(rig.Ui().edtMuxPort->text(), "2001");
    QCOMPARE(rig.Ui().cbPort->currentIndex(), 2);
}

void TestNetworkGui::NoCloseWhileAJobRuns_data() {
    QTest::addColumn<QString>("dialog");
    QTest::newRow("assign IP") << "assign";
    QTest::newRow("network settings") << "network";
    QTest::newRow("factory reset") << "list";
}

void TestNetworkGui::NoCloseWhileAJobRuns() {
    QFETCH(QString, dialog);
    TRig rig(1);
    rig.SetHost(FirstServer);
    rig.user.Answers = {true};
    QDialog* dlg = nullptr;
    QAction* menu = nullptr;
    std::function<void()> steps;
    if (dialog == "assign") {
        TAssignIPDlg& assign = rig.form->AssignIPDlg();
        dlg = &assign;
        menu = rig.Ui().miAssignIP;
        steps = [&assign] {
            QTest::keyClicks(assign.edtMAC, "00-20-4A-C9-19-08");
            QTest::keyClicks(assign.edtIP, "127.0.19.90");
            Click(assign.btnOK);
        };
    } else if (dialog == "network") {
        TNetworkDlg& network = rig.form->NetworkDlg();
        dlg = &network;
        menu = rig.Ui().miNetworkSetup;
        steps = [&network] {
            QTRY_VERIFY(network.btnOK->isEnabled());
            Click(network.btnOK);
        };
    } else {
        TXPortListDlg& list = rig.form->XPortListDlg();
        dlg = &list;
        menu = rig.Ui().miSearch;
        steps = [&list] {
            QTRY_COMPARE(list.lbxIPList->count(), 1);
            ClickItem(list.lbxIPList, 0);
            Click(list.btnReset);
            Click(list.btnCancel);
        };
    }
    // Halfway through the wait the user presses Escape and closes the window.
    bool stayed = false;
    rig.user.OnPosition = [&](int position) {
        if (position != 5)
            return;
        QTest::keyClick(dlg, Qt::Key_Escape);
        dlg->close();
        QTest::qWait(30);
        stayed = dlg->isVisible();
    };
    WhileModal(steps);
    menu->trigger();
    QVERIFY(stayed);
    QCOMPARE(rig.user.Progress.last(), "hide");
    QVERIFY(rig.user.Errors.isEmpty());
    QVERIFY(!dlg->isVisible());
    // The dialog opens and works again.
    if (dialog == "list") {
        TXPortListDlg& list = rig.form->XPortListDlg();
        WhileModal([&list] {
            QTRY_COMPARE(list.lbxIPList->count(), 1);
            Click(list.btnCancel);
        });
        menu->trigger();
    }
}

QTEST_MAIN(TestNetworkGui)
#include "tst_network_gui.moc"
