// What `cmake --install` (with the configured prefix) puts on a device: the service, chctl with
// its completion and manual, the default command table, the bus access policy, activation file
// and interface description, and the systemd files: a unit that systemd accepts and rates safe,
// and the boot files that create the readiness directory and the device's table. Then the
// Debian package of all of it.
#include "TestBus.h"
#include "TestTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QString prefix = QStringLiteral(INSTALL_PREFIX);

// The output of a program, or a null array when it cannot run or fails.
QByteArray run(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    const ProgramRun ran = runProgram(QStringList{program} + arguments, {}, 240000, environment);
    if (ran.exitCode != 0) {
        qWarning().noquote() << program << arguments << "failed:" << ran.out << ran.err;
        return QByteArray();
    }
    const QByteArray output = (ran.out + ran.err).toUtf8();
    return output.isNull() ? QByteArray("") : output;
}

// `cmake --install` into a staging root, stripped or as built. It only copies: nothing in the
// build tree is rebuilt while other tests run its programs.
bool installInto(const QString& root, bool stripped)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), root);
    const QStringList strip = stripped ? QStringList{"--strip"} : QStringList();
    return !run(CMAKE_COMMAND, QStringList{"--install", BUILD_DIRECTORY} + strip, environment)
                .isNull();
}

} // namespace

class InstallTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_root.isValid() && installInto(m_root.path(), true)); }
    void bootFilesCopyTheDefaultTableOnlyWhereNoneIs();
    void unitPassesSystemdVerificationAndIsHardened();
    void packageHoldsEveryFileIsHardenedAndHasItsSymbolsInADbgsymPackage();
    void demoBuildsWithoutTestsAndServesACopyOfTheTable();

private:
    QString installed(const QString& path) const { return m_root.path() + path; }
    QByteArray read(const QString& path) const { return readFile(installed(path)); }

    QTemporaryDir m_root;
};

void InstallTest::bootFilesCopyTheDefaultTableOnlyWhereNoneIs()
{
    const QByteArray defaultTable = TestBus::defaultCommandTable();
    QCOMPARE(read(prefix + "/share/command-handler/commandTable.json"), defaultTable);
    QVERIFY(!QFileInfo::exists(installed(QStringLiteral("/var/lib/command-handler"))));
    const QString activation = QString::fromUtf8(
        read(prefix + "/share/dbus-1/system-services/com.vellorn.CommandHandler.service"));
    QVERIFY(activation.contains(QStringLiteral("\nName=com.vellorn.CommandHandler\n")));
    QVERIFY(activation.contains(QStringLiteral("\nSystemdService=command-handler.service\n")));

    const QString tmpfiles = QStandardPaths::findExecutable(QStringLiteral("systemd-tmpfiles"));
    if (tmpfiles.isEmpty() || ::geteuid() != 0) {
        QSKIP("systemd-tmpfiles is not installed, or the boot files' owners need root");
    }
    // Boot, an edit on the device, and the next boot, in the installed tree as the root.
    const QStringList boot{"--create", "--root=" + m_root.path(),
                           installed(prefix + "/lib/tmpfiles.d/command-handler.conf")};
    QVERIFY(!run(tmpfiles, boot).isNull());
    QVERIFY(QFileInfo(installed(QStringLiteral("/run/service-watcher"))).isDir());
    const QString table = QStringLiteral("/var/lib/command-handler/commandTable.json");
    QCOMPARE(read(table), defaultTable);
    QVERIFY(writeFile(installed(table), "{}"));
    QVERIFY(!run(tmpfiles, boot).isNull());
    QCOMPARE(read(table), QByteArray("{}"));
}

void InstallTest::unitPassesSystemdVerificationAndIsHardened()
{
    const QString analyze = QStandardPaths::findExecutable(QStringLiteral("systemd-analyze"));
    if (analyze.isEmpty()) {
        QSKIP("systemd-analyze is not installed");
    }
    // Verified where systemd finds its own units, with the commands pointing at the staged
    // binary: every directive is checked as on the device.
    QString unit = QString::fromUtf8(read(prefix + "/lib/systemd/system/command-handler.service"));
    unit.replace("ExecStart=" + prefix, "ExecStart=" + installed(prefix));
    unit.replace("ExecReload=" + prefix, "ExecReload=" + installed(prefix));
    const QString staged = installed(QStringLiteral("/verify/command-handler.service"));
    QVERIFY(writeFile(staged, unit.toUtf8()));
    const QString output = QString::fromUtf8(run(analyze, {"verify", "--man=no", staged}));
    QVERIFY2(!output.isNull() && !output.contains("command-handler.service:"), qPrintable(output));

    // hostnamed rates 1.5 on systemd 252.
    const QString security =
        QString::fromUtf8(run(analyze, {"security", "--offline=true", staged}));
    static const QRegularExpression overall(
        QStringLiteral("Overall exposure level for [^:]*: ([0-9.]+)"));
    const QRegularExpressionMatch score = overall.match(security);
    QVERIFY2(score.hasMatch(), qPrintable(security));
    qInfo().noquote() << "Exposure:" << score.captured(1);
    QVERIFY2(score.captured(1).toDouble() <= 1.0, qPrintable(security));
}

namespace {

// The package's files below a scratch directory.
bool extract(const QString& package, const QTemporaryDir& into)
{
    return !run("dpkg-deb", {"--extract", package, into.path()}).isNull();
}

} // namespace

// Packed as `cpack -G DEB` packs the build tree, from an install left as built (packed from a
// staging tree rather than from the build tree: cpack would first bring the whole build tree up to
// date, relinking programs that other tests run meanwhile). The flags dpkg-buildflags gives with
// hardening=+all (immediate binding, fortified), so that lintian finds no hardening tag, not even
// an informational one; the debug information split off into command-handler-dbgsym as Debian
// lays it out, found by the build id of the stripped service.
void InstallTest::packageHoldsEveryFileIsHardenedAndHasItsSymbolsInADbgsymPackage()
{
#ifdef CH_SANITIZED_BUILD
    QSKIP("the sanitizers' builds go without Debian's hardening flags; their files are the same");
#endif
    QTemporaryDir unstripped;
    QTemporaryDir packages;
    QVERIFY(installInto(unstripped.path(), false));
    QVERIFY(!run(CPACK_COMMAND,
                 {"-G", "DEB", "-B", packages.path(), "--config",
                  BUILD_DIRECTORY "/CPackConfig.cmake", "-D", "CPACK_INSTALL_CMAKE_PROJECTS=", "-D",
                  "CPACK_INSTALLED_DIRECTORIES=" + unstripped.path() + ";."})
                 .isNull());
    const QStringList made = QDir(packages.path()).entryList({QStringLiteral("*.deb")});
    const QString package = packages.filePath(
        made.filter(QRegularExpression("^command-handler_")).value(0, QStringLiteral("none")));
    QTemporaryDir contents;
    QVERIFY2(extract(package, contents), qPrintable(made.join(' ')));
    for (const char* path : {"/bin/command-handler", "/lib/systemd/system/command-handler.service",
                             "/share/man/man8/command-handler.8.gz"}) {
        QVERIFY2(QFileInfo::exists(contents.path() + prefix + path), path);
    }
    const QString scripts = QString::fromUtf8(run("dpkg-deb", {"--info", package}));
    for (const char* script : {"postinst", "prerm", "postrm"}) {
        QVERIFY2(scripts.contains(QLatin1String(script)), qPrintable(scripts));
    }
    // Fails on errors; the warnings and notes show in the report, and the tags below must not be
    // among them.
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    const QString report =
        lintian.isEmpty()
            ? QString()
            : QString::fromUtf8(run(lintian, {"--fail-on=error", "--display-info", package}));
    QVERIFY2(lintian.isEmpty() || !report.isNull(), qPrintable(made.join(' ')));
    const QString service = contents.path() + prefix + "/bin/command-handler";
    static const QRegularExpression bindNow(
        QStringLiteral("\\(FLAGS\\)\\s+BIND_NOW\n.*\\(FLAGS_1\\)\\s+Flags:.* NOW"),
        QRegularExpression::DotMatchesEverythingOption);
    for (const QString& program : {service, contents.path() + prefix + "/bin/chctl"}) {
        const QString dynamic = QString::fromUtf8(run("readelf", {"--dynamic", program}));
        QVERIFY2(dynamic.contains(bindNow), qPrintable(dynamic));
    }
    for (const char* tag :
         {"hardening-no-bindnow", "hardening-no-fortify-functions", "hardening-no-relro",
          "binary-has-unneeded-section", "no-manual-page"}) {
        QVERIFY2(!report.contains(QLatin1String(tag)), qPrintable(report));
    }

    if (!run("readelf", {"--section-headers", unstripped.path() + prefix + "/bin/command-handler"})
             .contains(".debug_info")) {
        QSKIP("built without debug information (a Release build): no symbols to package");
    }
    const QString symbols = packages.filePath(
        QStringLiteral("command-handler-dbgsym_" COMMAND_HANDLER_VERSION "_%1.deb")
            .arg(QString::fromUtf8(run("dpkg", {"--print-architecture"})).trimmed()));
    const QString control = QString::fromUtf8(run("dpkg-deb", {"--field", symbols}));
    for (const char* field : {"Package: command-handler-dbgsym\n", "Section: debug\n",
                              "Depends: command-handler (= " COMMAND_HANDLER_VERSION ")\n"}) {
        QVERIFY2(control.contains(QLatin1String(field)), qPrintable(made.join(' ') + control));
    }
    static const QRegularExpression buildId(QStringLiteral("Build ID: ([0-9a-f]{2})([0-9a-f]+)"));
    const QRegularExpressionMatch id =
        buildId.match(QString::fromUtf8(run("readelf", {"--notes", service})));
    QVERIFY(id.hasMatch());
    QVERIFY(run("readelf", {"--section-headers", service}).contains(".gnu_debuglink"));
    QTemporaryDir debugContents;
    QVERIFY(extract(symbols, debugContents));
    const QString debugFile = QStringLiteral("%1/usr/lib/debug/.build-id/%2/%3.debug")
                                  .arg(debugContents.path(), id.captured(1), id.captured(2));
    QVERIFY2(run("readelf", {"--section-headers", debugFile}).contains(".debug_info"),
             qPrintable(run("dpkg-deb", {"--contents", symbols})));
    QVERIFY(lintian.isEmpty() || !run(lintian, {"--fail-on=error,warning", symbols}).isNull());
}

// The demo's steps, from its script sourced with the build replaced: it configures without the
// tests, serves its own copy of the default table, and the line it gives to paste reaches its
// bus whatever the address holds. Should the script run whole when sourced, what it would
// install and build with fails at once.
void InstallTest::demoBuildsWithoutTestsAndServesACopyOfTheTable()
{
    QTemporaryDir scratch;
    const QString address = QStringLiteral("unix:path=/tmp/it's a $bus,guid=0\"1");
    const QString steps = QStringLiteral(
        "for tool in apt-get sudo cmake dbus-daemon; do eval \"$tool() { return 1; }\"; done; "
        "source \"$1\"; ch_build_progress() { printf 'configure: %s\\n' \"$*\"; }; demo_build; "
        "demo_table \"$2\"; printf 'STATE_DIRECTORY=%s\\n' \"$STATE_DIRECTORY\"; "
        "demo_instructions \"$3\"");
    const QString output = QString::fromUtf8(
        run("bash", {"-c", steps, "demo", PROJECT_SOURCE_DIRECTORY "/scripts/demo",
                     scratch.filePath("run"), address}));
    QVERIFY2(output.contains(QStringLiteral("\nconfigure: " PROJECT_SOURCE_DIRECTORY "/build ")),
             qPrintable(output));
    QVERIFY2(output.contains(QRegularExpression("\nconfigure: .* -DBUILD_TESTING=OFF( |\n)")),
             qPrintable(output));

    const QString table = scratch.filePath("run/state/commandTable.json");
    QVERIFY2(output.contains("\nSTATE_DIRECTORY=" + scratch.filePath("run/state") + "\n"),
             qPrintable(output));
    QCOMPARE(readFile(table), TestBus::defaultCommandTable());
    QVERIFY(!QFileInfo(table).isSymLink());

    // The pasted line, in a shell of its own.
    const QStringList lines = output.split('\n');
    const QStringList paste =
        lines.filter(QRegularExpression("^\\s*export DBUS_SYSTEM_BUS_ADDRESS="));
    QCOMPARE(paste.size(), 1);
    const QString pasted = QString::fromUtf8(
        run("bash", {"-c", paste.first() + "\nprintf '%s\\n' \"$DBUS_SYSTEM_BUS_ADDRESS\" "
                                           "\"${PATH%%:*}\"; complete -p chctl"}));
    QCOMPARE(pasted,
             address + "\n" PROJECT_SOURCE_DIRECTORY "/build/cli\n" + "complete -F _chctl chctl\n");
}

QTEST_GUILESS_MAIN(InstallTest)
#include "tst_install.moc"
