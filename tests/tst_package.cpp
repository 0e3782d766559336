// The programs as a user gets them: their versions, and the Debian package installed into a
// scratch root with dpkg -x, run from there.
#include "Version.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TRun {
    int Code = -1;
    QString Out;
    QString Err;
};

// Runs a program with the environment a desktop user has: no library path into the build,
// no window system.
TRun Run(const QString& program, const QStringList& arguments, int timeoutMs = 30000) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_LIBRARY_PATH"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    TRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.Err = QStringLiteral("did not finish: ") + process.errorString();
        return run;
    }
    run.Code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

} // namespace

class TestPackage : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void Version_data();
    void Version();
    void PackageHoldsTheDesktopFiles();
    void PackageDependsOnTheLinkedQtLibraries();
    void InstalledPrograms_data();
    void InstalledPrograms();
    void InstalledProgramsLeaveTheBuildTreeAlone();
    void MetainfoValidates();
    void ManPagesComeFromTheHelp();
    void SerialPermissionNamesTheDialoutGroup();

private:
    // Skips a test when there is no package to look at.
    bool HavePackage();
    QString Installed(const QString& path) const { return root.filePath(path); }

    QTemporaryDir root;
    QString packageError;
};

void TestPackage::initTestCase() {
    QVERIFY(root.isValid());
    const QString deb = QStringLiteral(TW_DEB_FILE);
    if (deb.isEmpty()) {
        packageError = QStringLiteral("no dpkg-deb here: the package is not built");
        return;
    }
    if (!QFile::exists(deb)) {
        packageError = deb + QStringLiteral(" is missing: build the package target first");
        return;
    }
    // A package older than the programs would test yesterday's build.
    for (const char* program : {TW_APP_PATH, TW_CLI_PATH, TW_SIM_PATH}) {
        if (QFileInfo(deb).lastModified() < QFileInfo(QString::fromUtf8(program)).lastModified()) {
            packageError = deb + QStringLiteral(" is older than ") + QString::fromUtf8(program) +
                           QStringLiteral(": build the package target again");
            return;
        }
    }
    const TRun unpack = Run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), deb, root.path()});
    QVERIFY2(unpack.Code == 0, qPrintable(unpack.Err));
}

bool TestPackage::HavePackage() {
    return packageError.isEmpty();
}

void TestPackage::Version_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("name");
    QTest::newRow("tidewright") << QStringLiteral(TW_APP_PATH) << "Tidewright";
    QTest::newRow("tidewright-cli") << QStringLiteral(TW_CLI_PATH) << "tidewright-cli";
    QTest::newRow("corvanta-sim") << QStringLiteral(TW_SIM_PATH) << "corvanta-sim";
}

void TestPackage::Version() {
    QFETCH(QString, program);
    QFETCH(QString, name);
    const TRun run = Run(program, {QStringLiteral("--version")});
    QCOMPARE(run.Code, 0);
    QCOMPARE(run.Out.trimmed(), name + u' ' + QStringLiteral(TW_VERSION_TEXT));
}

void TestPackage::PackageHoldsTheDesktopFiles() {
    if (!HavePackage())
        QSKIP(qPrintable(packageError));
    QStringList files{"usr/bin/tidewright",
                      "usr/bin/tidewright-cli",
                      "usr/bin/corvanta-sim",
                      "usr/share/applications/com.kelvane.Tidewright.desktop",
                      "usr/share/metainfo/com.kelvane.Tidewright.metainfo.xml",
                      "usr/share/icons/hicolor/scalable/apps/com.kelvane.Tidewright.svg",
                      "usr/share/man/man1/tidewright.1.gz",
                      "usr/share/man/man1/tidewright-cli.1.gz",
                      "usr/share/man/man1/corvanta-sim.1.gz"};
    for (const char* size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"})
        files << QStringLiteral("usr/share/icons/hicolor/%1/apps/com.kelvane.Tidewright.png")
                     .arg(QLatin1StringView(size));
    for (const QString& file : std::as_const(files))
        QVERIFY2(QFileInfo(Installed(file)).isFile(), qPrintable(file + " is not in the package"));

    // Each PNG is the size its folder names.
    const QImage big(Installed("usr/share/icons/hicolor/256x256/apps/com.kelvane.Tidewright.png"));
    QCOMPARE(big.size(), QSize(256, 256));
    const QImage small(Installed("usr/share/icons/hicolor/16x16/apps/com.kelvane.Tidewright.png"));
    QCOMPARE(small.size(), QSize(16, 16));
    // Drawn, not empty: the middle of the porthole is opaque, the corners are clear.
    QCOMPARE(qAlpha(big.pixel(128, 128)), 255);
    QCOMPARE(qAlpha(big.pixel(0, 0)), 0);

    QFile desktop(Installed("usr/share/applications/com.kelvane.Tidewright.desktop"));
    QVERIFY(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    QVERIFY(entry.contains("\nExec=tidewright\n"));
    QVERIFY(entry.contains("\nIcon=com.kelvane.Tidewright\n"));
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        const TRun run = Run(validator, {desktop.fileName()});
        QVERIFY2(run.Code == 0, qPrintable(run.Out + run.Err));
    }
}

void TestPackage::PackageDependsOnTheLinkedQtLibraries() {
    if (!HavePackage())
        QSKIP(qPrintable(packageError));
    const TRun run = Run(QStringLiteral("dpkg-deb"),
                         {QStringLiteral("-f"), QStringLiteral(TW_DEB_FILE), "Depends"});
    QCOMPARE(run.Code, 0);
    // What the programs link, as dpkg-shlibdeps finds it, not a list written by hand.
    for (const char* library :
         {"libqt6core6", "libqt6widgets6", "libqt6serialport6", "libqt6network6", "libc6"})
        QVERIFY2(run.Out.contains(QLatin1StringView(library)),
                 qPrintable(QStringLiteral("Depends: ") + run.Out));
    QVERIFY2(run.Out.contains("qt6-qpa-plugins"), qPrintable(run.Out));
}

void TestPackage::InstalledPrograms_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    QTest::newRow("cli help") << "tidewright-cli" << QStringList{"--help"}
                              << "Usage: tidewright-cli";
    QTest::newRow("cli identify") << "tidewright-cli" << QStringList{"--simulator", "identify"}
                                  << "Firmware version: 3.14.0";
    QTest::newRow("sim help") << "corvanta-sim" << QStringList{"--help"}
                              << "A simulated Corvanta-PX multiplexer";
    QTest::newRow("window version")
        << "tidewright" << QStringList{"--version"} << "Tidewright " TW_VERSION_TEXT;
}

void TestPackage::InstalledPrograms() {
    if (!HavePackage())
        QSKIP(qPrintable(packageError));
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    const TRun run = Run(Installed("usr/bin/" + program), arguments);
    QVERIFY2(run.Code == 0, qPrintable(run.Err));
    QVERIFY2(run.Out.contains(says), qPrintable(run.Out));
}

void TestPackage::InstalledProgramsLeaveTheBuildTreeAlone() {
    if (!HavePackage())
        QSKIP(qPrintable(packageError));
    // No run path or file name into the build: the installed programs work once it is gone.
    const QByteArray buildDir = QByteArrayLiteral(TW_BUILD_DIR);
    for (const char* program : {"tidewright", "tidewright-cli", "corvanta-sim"}) {
        QFile file(Installed(QStringLiteral("usr/bin/") + QLatin1StringView(program)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.readAll().contains(buildDir), program);
    }
}

void TestPackage::MetainfoValidates() {
    if (!HavePackage())
        QSKIP(qPrintable(packageError));
    const QString appstream = QStandardPaths::findExecutable("appstreamcli");
    if (appstream.isEmpty())
        QSKIP("appstreamcli is not installed");
    const TRun run =
        Run(appstream, {"validate", "--no-net",
                        Installed("usr/share/metainfo/com.kelvane.Tidewright.metainfo.xml")});
    QVERIFY2(run.Code == 0, qPrintable(run.Out + run.Err));
}

void TestPackage::ManPagesComeFromTheHelp() {
    if (!HavePackage())
        QSKIP(qPrintable(packageError));
    const TRun help = Run(Installed("usr/bin/tidewright-cli"), {"--help"});
    const TRun page = Run("gzip", {"-dc", Installed("usr/share/man/man1/tidewright-cli.1.gz")});
    QCOMPARE(page.Code, 0);
    QVERIFY(page.Out.startsWith(".TH TIDEWRIGHT-CLI 1"));
    // Every command of the help is in the page, minus signs escaped for roff.
    QVERIFY(page.Out.contains("n2k\\-address NAME ADDRESS"));
    QVERIFY(page.Out.contains("\\-\\-simulator"));
    const QString someLine = help.Out.section(u'\n', 0, 0);
    QVERIFY(someLine.startsWith("Usage: tidewright-cli"));
    QVERIFY(page.Out.contains(QString(someLine).replace("-", "\\-")));
}

void TestPackage::SerialPermissionNamesTheDialoutGroup() {
    // A port the user may not open, as a serial adapter is to a user outside the dialout
    // group: a pseudo-terminal with no permissions at all, opened by an unprivileged user.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    const auto closePty = qScopeGuard([&] {
        ::close(master);
        ::close(slave);
    });
    QVERIFY(::chmod(name, 0) == 0);

    QProcess cli;
    if (::geteuid() == 0) {
        // Root may open anything: run the tool as nobody, as a user without the group.
        cli.setChildProcessModifier([] {
            const gid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0)
                ::_exit(99);
        });
    }
    cli.start(QStringLiteral(TW_CLI_PATH),
              {"--connect", QStringLiteral("serial:") + QString::fromLocal8Bit(name), "identify"});
    QVERIFY(cli.waitForFinished(30000));
    QVERIFY2(cli.exitCode() != 99, "could not become an unprivileged user");
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(err.contains(QStringLiteral("Unable to open %1.").arg(QString::fromLocal8Bit(name))),
             qPrintable(err));
    QVERIFY2(err.contains("add your user to the dialout group"), qPrintable(err));
}

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
