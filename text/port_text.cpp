#include "text/port_text.h"

#include "platform/system_error.h"
#include "text/outcome_text.h"

namespace zor {

std::string portStatusText(const PortRow& row) {
    switch (row.status) {
        case PortStatus::NotInstalled:
            return "Non installata";
        case PortStatus::InUse:
            return "Utilizzata da un'altra applicazione";
        case PortStatus::NotSerial:
            return "Non è una porta seriale";
        case PortStatus::OpenFailed:
            return osErrorText(row.osError);
        case PortStatus::AvailableCableUnknown:
            return "Disponibile";
        case PortStatus::AvailableCableConnected:
            return "Disponibile (cavo seriale connesso)";
        case PortStatus::AvailableNoCable:
            return "Disponibile (nessun cavo seriale connesso)";
    }
    return {};
}

}  // namespace zor
