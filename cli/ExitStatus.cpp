#include "ExitStatus.h"

#include "ReplyPrinter.h"

namespace exitStatus {

int of(const ServiceClient::Answer& answer)
{
    if (answer.timedOut) {
        return noReply;
    }
    if (!answer.busError.isEmpty()) {
        return unreachable;
    }
    return ReplyPrinter::isSuccess(answer.reply) ? success : failure;
}

int reported(const ServiceClient::Answer& answer, QTextStream& err)
{
    const int status = of(answer);
    if (status == unreachable || status == noReply) {
        err << "chctl: " << answer.busError << '\n';
    } else if (status == failure) {
        err << "chctl: " << ReplyPrinter::failureLine(answer.reply) << '\n';
    }
    return status;
}

} // namespace exitStatus
