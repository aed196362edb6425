#include "platform/win32/port_claim.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/port_diagnosis.h"
#include "platform/serial_port.h"
#include "platform/win32/text.h"

namespace zor::win32 {

namespace {

struct ClaimBlock {
    DWORD pid;
    char program[124];  // UTF-8, zero-terminated
};

// One name for every form of the port's name ("com12", "\\.\COM12").
std::string claimName(const std::string& port) {
    std::string id = lookUpPortName(port).identity;
    std::replace(id.begin(), id.end(), '\\', '_');
    return "Local\\Zorload.port." + id;
}

// This program as a person would name it (commandName).
std::string thisProgram() {
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (args == nullptr)
        return std::string();
    const std::string program = commandName(count > 0 ? toUtf8(args[0]) : std::string(),
                                            count > 1 ? toUtf8(args[1]) : std::string());
    ::LocalFree(args);
    return program;
}

}  // namespace

std::unique_ptr<PortClaim> PortClaim::take(const std::string& name, DWORD& error) {
    error = 0;
    HANDLE mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(ClaimBlock), claimName(name).c_str());
    if (mapping == nullptr)
        return nullptr;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mapping);
        error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (auto* block = static_cast<ClaimBlock*>(
            ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(ClaimBlock)))) {
        block->pid = ::GetCurrentProcessId();
        const std::string program = thisProgram();
        const size_t size = std::min(program.size(), sizeof block->program - 1);
        std::memcpy(block->program, program.data(), size);
        block->program[size] = '\0';
        ::UnmapViewOfFile(block);
    }
    return std::unique_ptr<PortClaim>(new PortClaim(mapping));
}

PortClaim::~PortClaim() {
    ::CloseHandle(mapping_);
}

bool portClaimed(const std::string& name, DWORD& pid, std::string& program) {
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_READ, FALSE, claimName(name).c_str());
    if (mapping == nullptr)
        return false;
    pid = 0;
    program.clear();
    if (const auto* block = static_cast<const ClaimBlock*>(
            ::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(ClaimBlock)))) {
        pid = block->pid;
        program.assign(block->program, strnlen(block->program, sizeof block->program));
        ::UnmapViewOfFile(block);
    }
    ::CloseHandle(mapping);
    return pid != ::GetCurrentProcessId();
}

}  // namespace zor::win32
