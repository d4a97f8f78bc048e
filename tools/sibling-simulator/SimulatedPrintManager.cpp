#include "SimulatedPrintManager.h"

namespace {
// Paper lengths in millimetres that the feed mechanism can handle.
constexpr int shortestPaper = 50;
constexpr int longestPaper = 1000;

QString testName(int test)
{
    switch (test) {
    case 601:
        return QStringLiteral("motor");
    case 602:
        return QStringLiteral("head");
    case 603:
        return QStringLiteral("sensor");
    default:
        return QString();
    }
}
} // namespace

SimulatedPrintManager::SimulatedPrintManager(QObject* parent)
    : SimulatedSibling(siblings::of(siblings::printManager), parent)
{
}

void SimulatedPrintManager::loadPaper()
{
    logCall("loadPaper");
    m_paperLoaded = true;
    m_paperPosition = 0;
}

void SimulatedPrintManager::ejectPaper()
{
    logCall("ejectPaper");
    m_paperLoaded = false;
    m_paperPosition = 0;
}

void SimulatedPrintManager::feedLines(int lines)
{
    logCall("feedLines", {lines});
    if (m_paperLoaded) {
        m_paperPosition = qMax(0, m_paperPosition + lines);
    }
}

bool SimulatedPrintManager::isPaperLoaded()
{
    logCall("isPaperLoaded");
    return m_paperLoaded;
}

int SimulatedPrintManager::paperPosition()
{
    logCall("paperPosition");
    return m_paperPosition;
}

bool SimulatedPrintManager::setPaperLength(int length)
{
    logCall("setPaperLength", {length});
    // A length that is not positive is a caller's mistake, refused; a real paper the feed
    // cannot handle is declined with false.
    if (length <= 0) {
        refuse(QStringLiteral("paper length %1 is not positive").arg(length));
        return false;
    }
    if (length < shortestPaper || length > longestPaper) {
        return false;
    }
    m_paperLength = length;
    return true;
}

QVariantMap SimulatedPrintManager::runTestCmd(int test, int parameter)
{
    logCall("runTestCmd", {test, parameter});
    const QString name = testName(test);
    m_lastTest = {{QStringLiteral("test"), test},
                  {QStringLiteral("name"), name.isEmpty() ? QStringLiteral("unknown") : name},
                  {QStringLiteral("parameter"), parameter},
                  {QStringLiteral("result"),
                   name.isEmpty() ? QStringLiteral("unknown test") : QStringLiteral("passed")}};
    return m_lastTest;
}

QVariantMap SimulatedPrintManager::setIPCState(bool enabled)
{
    logCall("setIPCState", {enabled});
    const bool previous = m_ipcEnabled;
    m_ipcEnabled = enabled;
    return {{QStringLiteral("enabled"), enabled}, {QStringLiteral("previous"), previous}};
}

QVariantMap SimulatedPrintManager::state()
{
    logCall("state");
    return {{QStringLiteral("paperLoaded"), m_paperLoaded},
            {QStringLiteral("paperPosition"), m_paperPosition},
            {QStringLiteral("paperLength"), m_paperLength},
            {QStringLiteral("ipcEnabled"), m_ipcEnabled},
            {QStringLiteral("lastTest"), m_lastTest}};
}
