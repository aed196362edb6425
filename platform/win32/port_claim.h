#pragma once
// A Zorload program's claim on a serial port while it holds it open: a named
// shared block ("Local\Zorload.port.COM12") with the holder's process id and
// program name. Windows' own driver keeps a second program off an open port
// but does not say who has it; Wine's driver does not even keep it off. The
// claim does both for every Zorload program (a bench station holds its ports
// for its whole run).
#include <windows.h>

#include <memory>
#include <string>

namespace zor::win32 {

class PortClaim {
  public:
    // Claims the port named (any form of its name). Null with
    // ERROR_ACCESS_DENIED in error when another process claims it, as the
    // driver answers for a port in use; null with error 0 when no claim could
    // be made (the port is then opened without one).
    static std::unique_ptr<PortClaim> take(const std::string& name, DWORD& error);
    ~PortClaim();
    PortClaim(const PortClaim&) = delete;
    PortClaim& operator=(const PortClaim&) = delete;

  private:
    explicit PortClaim(HANDLE mapping) : mapping_(mapping) {}
    HANDLE mapping_;
};

// Whether another process claims the port; its id and program name when so.
bool portClaimed(const std::string& name, DWORD& pid, std::string& program);

}  // namespace zor::win32
