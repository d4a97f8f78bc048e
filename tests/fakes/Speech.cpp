// In-process fake of the speech client for unit tests (see FakeRecorder.h).
#include "Speech.h"

#include "FakeRecorder.h"

namespace libspeech::detail {

namespace {
FakeRecorder& recorder()
{
    return FakeRecorder::speech();
}
} // namespace

Speech::Speech(QObject* parent) : QObject(parent) {}

Speech::~Speech() = default;

// The fakes are always connected.
void Speech::setCheckConnection(bool) {}

// The fakes' calls always complete.
QString Speech::lastCallFailure() const
{
    return {};
}

void Speech::speak(QList<QVariant> args)
{
    recorder().record(QStringLiteral("speak"), args);
}

void Speech::stop()
{
    recorder().record(QStringLiteral("stop"));
}

void Speech::setRate(QList<QVariant> args)
{
    recorder().record(QStringLiteral("setRate"), args);
}

void Speech::setVolume(QList<QVariant> args)
{
    recorder().record(QStringLiteral("setVolume"), args);
}

} // namespace libspeech::detail
