#pragma once
// The Win32 side of the serial device, for the code and tests that need the
// driver's own terms: the control block (DCB) and time-outs configure() sets,
// and the COM handle behind a SerialPort.
#include <windows.h>

#include "platform/serial_port.h"

namespace zor::win32 {

// Sets the chronometer's line in a control block read from the driver: the
// speed, 8N1, binary, no parity check, no error character, no null
// stripping, no abort on error, neither XON/XOFF nor CTS/DSR flow control,
// DTR and RTS raised. The XON/XOFF characters and limits, the EOF and event
// characters stay as read.
void setChronometerLine(DCB& dcb, DWORD bitsPerSecond);

// The time-outs for the line at that speed. Reads: a byte waiting returns at
// once, else the first byte to arrive, else nothing after
// READ_TOTAL_CONSTANT_MS. Writes: the whole request's time on the wire,
// rounded up per byte, plus WRITE_MARGIN_MS, so a stalled line ends in a
// short write instead of a hung caller.
COMMTIMEOUTS chronometerTimeouts(DWORD bitsPerSecond);

// The COM handle of a port that systemSerialDevices() opened, else
// INVALID_HANDLE_VALUE. Stays the port's: never closed by the caller.
HANDLE handleOf(SerialPort& port);

}  // namespace zor::win32
