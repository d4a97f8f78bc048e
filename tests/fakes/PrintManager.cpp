// In-process fake of the print-manager client for unit tests (see FakeRecorder.h).
#include "PrintManager.h"

#include "FakeRecorder.h"

namespace libprintmanager::detail {

namespace {
FakeRecorder& recorder()
{
    return FakeRecorder::printManager();
}
} // namespace

PrintManager::PrintManager(QObject* parent) : QObject(parent) {}

PrintManager::~PrintManager() = default;

// The fakes are always connected.
void PrintManager::setCheckConnection(bool) {}

// The fakes' calls always complete.
QString PrintManager::lastCallFailure() const
{
    return {};
}

QVariantMap PrintManager::runTestCmd(int test, int parameter)
{
    return recorder().record(QStringLiteral("runTestCmd"), {test, parameter}).toMap();
}

QVariantMap PrintManager::setIPCState(bool state)
{
    return recorder().record(QStringLiteral("setIPCState"), {state}).toMap();
}

void PrintManager::loadPaper()
{
    recorder().record(QStringLiteral("loadPaper"));
}

void PrintManager::ejectPaper()
{
    recorder().record(QStringLiteral("ejectPaper"));
}

void PrintManager::feedLines(QList<QVariant> args)
{
    recorder().record(QStringLiteral("feedLines"), args);
}

bool PrintManager::isPaperLoaded()
{
    return recorder().record(QStringLiteral("isPaperLoaded")).toBool();
}

int PrintManager::paperPosition()
{
    return recorder().record(QStringLiteral("paperPosition")).toInt();
}

bool PrintManager::setPaperLength(QList<QVariant> args)
{
    return recorder().record(QStringLiteral("setPaperLength"), args).toBool();
}

} // namespace libprintmanager::detail
