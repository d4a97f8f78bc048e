// What `cmake --install` (with the configured prefix) puts on a device: the service, chctl with
// its completion and manual, the default command table, the bus access policy, the interface
// description and a systemd unit that systemd accepts.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class InstallTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void commandTableIsTheDefaultOne();
    void unitDescribesADeviceService();
    void unitPassesSystemdVerification();

private:
    QString installed(const QString& path) const { return m_root.path() + path; }
    QByteArray read(const QString& path) const;

    QTemporaryDir m_root;
};

void InstallTest::initTestCase()
{
    QVERIFY(m_root.isValid());
    QProcess install;
    install.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_root.path());
    install.setProcessEnvironment(environment);
    install.start(QStringLiteral(CMAKE_COMMAND),
                  {QStringLiteral("--install"), QStringLiteral(BUILD_DIRECTORY)});
    QVERIFY(install.waitForFinished(60000));
    QVERIFY2(install.exitCode() == 0, install.readAll().constData());
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
    QTest::newRow("command table") << "/var/lib/command-handler/commandTable.json" << false;
    QTest::newRow("access policy")
        << prefix + "/share/dbus-1/system.d/com.vellorn.CommandHandler.conf" << false;
    QTest::newRow("interface") << prefix + "/share/dbus-1/interfaces/com.vellorn.CommandHandler.xml"
                               << false;
    QTest::newRow("unit") << prefix + "/lib/systemd/system/command-handler.service" << false;
    QTest::newRow("group") << prefix + "/lib/sysusers.d/command-handler.conf" << false;
    QTest::newRow("client") << prefix + "/bin/chctl" << true;
    QTest::newRow("client completion")
        << prefix + "/share/bash-completion/completions/chctl" << false;
    QTest::newRow("client manual") << prefix + "/share/man/man1/chctl.1" << false;
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

void InstallTest::commandTableIsTheDefaultOne()
{
    QFile source(QStringLiteral(PROJECT_SOURCE_DIRECTORY "/data/commandTable.json"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    QCOMPARE(read(QStringLiteral("/var/lib/command-handler/commandTable.json")), source.readAll());
}

void InstallTest::unitDescribesADeviceService()
{
    const QString unit = QString::fromUtf8(
        read(QStringLiteral(INSTALL_PREFIX "/lib/systemd/system/command-handler.service")));
    for (const char* line :
         {"Type=dbus", "BusName=com.vellorn.CommandHandler", "StateDirectory=command-handler",
          "Restart=on-failure", "StandardInput=null",
          "ExecStart=" INSTALL_PREFIX "/bin/command-handler", "NoNewPrivileges=yes",
          "ProtectSystem=strict", "ProtectHome=yes", "PrivateTmp=yes"}) {
        QVERIFY2(unit.split(QLatin1Char('\n')).contains(QString::fromLatin1(line)), line);
    }
    QVERIFY(!unit.contains(QLatin1Char('@')));
}

void InstallTest::unitPassesSystemdVerification()
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
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
