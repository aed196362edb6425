#include "app/outcome.h"

#include "app/encoding.h"
#include "platform/system_error.h"

namespace zor {
namespace {

Outcome make(OutcomeKind kind, Hint hint) {
    Outcome o;
    o.kind = kind;
    o.hint = hint;
    return o;
}

}  // namespace

Outcome Outcome::portOpenFailed(OpenFailure failure, int osError) {
    Outcome o =
        make(OutcomeKind::PortOpenFailed, failure == OpenFailure::NotInstalled ? Hint::PortMissing
                                          : failure == OpenFailure::InUse      ? Hint::PortInUse
                                          : failure == OpenFailure::NotSerial  ? Hint::PortNotSerial
                                                                               : Hint::None);
    o.openFailure = failure;
    o.osError = osError;
    o.systemText = systemErrorText(osError);
    return o;
}

Outcome Outcome::portConfigureFailed(int osError) {
    Outcome o = make(OutcomeKind::PortConfigureFailed, Hint::PortSettings);
    o.osError = osError;
    return o;
}

Outcome Outcome::noAnswer() {
    return make(OutcomeKind::NoAnswer, Hint::CheckChronometer);
}

Outcome Outcome::wrongAnswer(const std::string& lastAnswer) {
    Outcome o = make(OutcomeKind::WrongAnswer, Hint::CheckChronometer);
    o.lastAnswer = lastAnswer;
    return o;
}

Outcome Outcome::listingIncomplete() {
    return make(OutcomeKind::ListingIncomplete, Hint::RetryCable);
}

Outcome Outcome::noPorts() {
    return make(OutcomeKind::NoPorts, Hint::NoSerialPort);
}

Outcome Outcome::transferFailed(TransferCode code, const std::string& lastAnswer, Hint hint) {
    Outcome o = make(OutcomeKind::TransferFailed, hint);
    o.code = code;
    o.lastAnswer = lastAnswer;
    return o;
}

Outcome Outcome::fileNotOpened(int osError) {
    Outcome o = make(OutcomeKind::FileNotOpened, Hint::ChooseFile);
    o.osError = osError;
    o.systemText = systemErrorText(osError);
    return o;
}

Outcome Outcome::fileRefused(UpdateFileFault fault, const std::string& detail) {
    Outcome o = make(OutcomeKind::FileRefused, Hint::ChooseFile);
    o.fileFault = fault;
    o.detail = detail;
    return o;
}

Outcome Outcome::logNotOpened() {
    return make(OutcomeKind::LogNotOpened, Hint::None);
}

std::string displayText(const std::string& cp1252) {
    std::string out;
    size_t pos = 0;
    while (pos <= cp1252.size()) {
        size_t end = cp1252.find('\n', pos);
        if (end == std::string::npos)
            end = cp1252.size();
        std::string line = cp1252.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t nul = line.find('\0');
        if (nul != std::string::npos)
            line.resize(nul);
        if (pos != 0)
            out += '\n';
        out += cp1252ToUtf8(line);
        pos = end + 1;
    }
    return out;
}

}  // namespace zor
