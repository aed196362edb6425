#pragma once
// The words for a scanned port's state: the port page's column
// "Informazioni" and the status of `zorload-cli ports`.
#include <string>

#include "link/port_scan.h"

namespace zor {

// "Non installata", "Utilizzata da un'altra applicazione", "Non è una porta
// seriale", the OS's own text for any other open failure, or "Disponibile"
// with what the modem lines said about a cable, if they could be read.
std::string portStatusText(const PortRow& row);

}  // namespace zor
