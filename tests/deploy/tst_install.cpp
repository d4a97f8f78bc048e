// What `cmake --install` (with the configured prefix) puts on a device: the service, chctl with
// its completion and manual, the default command table, the bus access policy, activation file
// and interface description, and the systemd files: a unit that systemd accepts and rates safe,
// and the boot files that create the readiness directory and the device's table. Then the
// Debian package of all of it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class InstallTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void bootFilesCopyTheDefaultTableOnlyWhereNoneIs();
    void unitPassesSystemdVerificationAndIsHardened();
    void packageHoldsEveryInstalledFileAndPassesLintian();

private:
    QString installed(const QString& path) const { return m_root.path() + path; }
    QByteArray read(const QString& path) const;
    // The output of a program, or a null array when it is not installed or fails.
    static QByteArray run(const QString& program, const QStringList& arguments);

    QTemporaryDir m_root;
};

namespace {

// `cmake --install` into a staging root, stripped as the package carries the programs. It only
// copies: nothing in the build tree is rebuilt while other tests run its programs.
QByteArray installInto(const QString& root)
{
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), root);
    install.setProcessEnvironment(environment);
    install.start(
        QStringLiteral(CMAKE_COMMAND),
        {QStringLiteral("--install"), QStringLiteral(BUILD_DIRECTORY), QStringLiteral("--strip")});
    if (!install.waitForFinished(60000) || install.exitCode() != 0) {
        return install.readAll() + "cmake --install failed";
    }
    return {};
}

} // namespace

void InstallTest::initTestCase()
{
    QVERIFY(m_root.isValid());
    const QByteArray failure = installInto(m_root.path());
    QVERIFY2(failure.isEmpty(), failure.constData());
}

QByteArray InstallTest::read(const QString& path) const
{
    QFile file(installed(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void InstallTest::installedFiles_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    const QString prefix = QStringLiteral(INSTALL_PREFIX);
    QTest::newRow("binary") << prefix + "/bin/command-handler" << true;
    QTest::newRow("default command table")
        << prefix + "/share/command-handler/commandTable.json" << false;
    QTest::newRow("access policy")
        << prefix + "/share/dbus-1/system.d/com.vellorn.CommandHandler.conf" << false;
    QTest::newRow("interface") << prefix + "/share/dbus-1/interfaces/com.vellorn.CommandHandler.xml"
                               << false;
    QTest::newRow("unit") << prefix + "/lib/systemd/system/command-handler.service" << false;
    QTest::newRow("group") << prefix + "/lib/sysusers.d/command-handler.conf" << false;
    QTest::newRow("client") << prefix + "/bin/chctl" << true;
    QTest::newRow("client completion")
        << prefix + "/share/bash-completion/completions/chctl" << false;
    QTest::newRow("client manual") << prefix + "/share/man/man1/chctl.1.gz" << false;
}

void InstallTest::installedFiles()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile(), qPrintable(path));
    QVERIFY(info.size() > 0);
    QCOMPARE(info.isExecutable(), executable);
}

QByteArray InstallTest::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(240000)) {
        return QByteArray();
    }
    const QByteArray output = process.readAll();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning().noquote() << program << arguments << "failed:" << output;
        return QByteArray();
    }
    return output.isNull() ? QByteArray("") : output;
}

void InstallTest::bootFilesCopyTheDefaultTableOnlyWhereNoneIs()
{
    QFile source(QStringLiteral(PROJECT_SOURCE_DIRECTORY "/data/commandTable.json"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray defaultTable = source.readAll();
    QCOMPARE(read(QStringLiteral(INSTALL_PREFIX "/share/command-handler/commandTable.json")),
             defaultTable);
    QVERIFY(!QFileInfo::exists(installed(QStringLiteral("/var/lib/command-handler"))));
    const QString activation = QString::fromUtf8(read(QStringLiteral(
        INSTALL_PREFIX "/share/dbus-1/system-services/com.vellorn.CommandHandler.service")));
    QVERIFY(activation.contains(QStringLiteral("\nName=com.vellorn.CommandHandler\n")));
    QVERIFY(activation.contains(QStringLiteral("\nSystemdService=command-handler.service\n")));

    const QString tmpfiles = QStandardPaths::findExecutable(QStringLiteral("systemd-tmpfiles"));
    if (tmpfiles.isEmpty() || ::geteuid() != 0) {
        QSKIP("systemd-tmpfiles is not installed, or the boot files' owners need root");
    }
    // Boot, an edit on the device, and the next boot, in the installed tree as the root.
    const QStringList boot{
        QStringLiteral("--create"), QStringLiteral("--root=") + m_root.path(),
        installed(QStringLiteral(INSTALL_PREFIX "/lib/tmpfiles.d/command-handler.conf"))};
    QVERIFY(!run(tmpfiles, boot).isNull());
    QVERIFY(QFileInfo(installed(QStringLiteral("/run/service-watcher"))).isDir());
    const QString table = QStringLiteral("/var/lib/command-handler/commandTable.json");
    QCOMPARE(read(table), defaultTable);
    QFile edited(installed(table));
    QVERIFY(edited.open(QIODevice::WriteOnly | QIODevice::Truncate));
    edited.write("{}");
    edited.close();
    QVERIFY(!run(tmpfiles, boot).isNull());
    QCOMPARE(read(table), QByteArray("{}"));
}

void InstallTest::unitPassesSystemdVerificationAndIsHardened()
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty()) {
        QSKIP("systemd-analyze is not installed");
    }
    // Verified where systemd finds its own units, with the command pointing at the staged
    // binary: every directive is checked as on the device.
    const QString unitPath = INSTALL_PREFIX "/lib/systemd/system/command-handler.service";
    QString unit = QString::fromUtf8(read(unitPath));
    unit.replace(QStringLiteral("ExecStart=" INSTALL_PREFIX),
                 QStringLiteral("ExecStart=") + installed(QStringLiteral(INSTALL_PREFIX)));
    QVERIFY(QDir().mkpath(installed(QStringLiteral("/verify"))));
    QFile staged(installed(QStringLiteral("/verify/command-handler.service")));
    QVERIFY(staged.open(QIODevice::WriteOnly));
    staged.write(unit.toUtf8());
    staged.close();

    QProcess verify;
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start(analyze,
                 {QStringLiteral("verify"), QStringLiteral("--man=no"), staged.fileName()});
    QVERIFY(verify.waitForFinished(60000));
    const QString output = QString::fromUtf8(verify.readAll());
    QVERIFY2(verify.exitCode() == 0, qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("command-handler.service:")), qPrintable(output));

    // hostnamed rates 1.5 on systemd 252.
    const QString security =
        QString::fromUtf8(run(analyze, {QStringLiteral("security"),
                                        QStringLiteral("--offline=true"), staged.fileName()}));
    static const QRegularExpression overall(
        QStringLiteral("Overall exposure level for [^:]*: ([0-9.]+)"));
    const QRegularExpressionMatch score = overall.match(security);
    QVERIFY2(score.hasMatch(), qPrintable(security));
    qInfo().noquote() << "Exposure:" << score.captured(1);
    QVERIFY2(score.captured(1).toDouble() <= 1.0, qPrintable(security));
}

void InstallTest::packageHoldsEveryInstalledFileAndPassesLintian()
{
    // Packed from a staging tree of its own rather than from the build tree: cpack would first
    // bring the whole build tree up to date, relinking programs that other tests run meanwhile.
    QTemporaryDir packageDirectory;
    const QString staging = packageDirectory.filePath(QStringLiteral("staging"));
    const QByteArray failure = installInto(staging);
    QVERIFY2(failure.isEmpty(), failure.constData());
    QVERIFY(!run(QStringLiteral(CPACK_COMMAND),
                 {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("-B"),
                  packageDirectory.path(), QStringLiteral("--config"),
                  QStringLiteral(BUILD_DIRECTORY "/CPackConfig.cmake"), QStringLiteral("-D"),
                  QStringLiteral("CPACK_INSTALL_CMAKE_PROJECTS="), QStringLiteral("-D"),
                  QStringLiteral("CPACK_INSTALLED_DIRECTORIES=%1;.").arg(staging)})
                 .isNull());
    const QStringList packages = QDir(packageDirectory.path()).entryList({QStringLiteral("*.deb")});
    QCOMPARE(packages.size(), 1);
    const QString package = packageDirectory.filePath(packages.first());

    const QString listing =
        QString::fromUtf8(run(QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), package}));
    QVERIFY2(listing.contains(QStringLiteral(" ." INSTALL_PREFIX "/bin/command-handler\n")),
             qPrintable(listing));
    QVERIFY2(listing.contains(QStringLiteral(" ." INSTALL_PREFIX
                                             "/lib/systemd/system/command-handler.service\n")),
             qPrintable(listing));
    const QString control =
        QString::fromUtf8(run(QStringLiteral("dpkg-deb"), {QStringLiteral("--info"), package}));
    for (const char* script : {"postinst", "prerm", "postrm"}) {
        QVERIFY2(control.contains(QLatin1String(script)), qPrintable(control));
    }

    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty()) {
        QSKIP("lintian is not installed");
    }
    // Fails on errors, and the warning shows the report.
    QVERIFY(!run(lintian, {QStringLiteral("--fail-on=error"), package}).isNull());
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
