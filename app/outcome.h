#pragma once
// How an operation ended, for every failure the user can meet: opening and
// setting up the port, the chronometer's answers, the transfer's outcome
// codes, the update file and the session log. Each outcome carries its kind
// and what is known of the failure (the OS's error and its text, the
// chronometer's last answer, what was wrong with the file); text/ words it,
// so that a window can show it as its boxes and a terminal as its lines.
#include <functional>
#include <string>

#include "platform/serial_port.h"

namespace zor {

enum class OutcomeKind {
    Ok,
    PortOpenFailed,       // the port would not open: openFailure, osError, systemText
    PortConfigureFailed,  // it opened but refused 19200 8N1: osError (0 when unknown)
    NoAnswer,             // the chronometer did not answer the connection check
    WrongAnswer,          // it answered the check with another code: lastAnswer
    ListingIncomplete,    // it answered, but its partition listing broke off
    NoPorts,              // the port scan found no port available
    TransferFailed,       // code 100..108, lastAnswer
    FileNotOpened,        // the update file would not open: osError, systemText, message
    FileRefused,          // not an update file, a newer format, a read error: fileFault, detail
    LogNotOpened,         // the session log would not open
};

// How a transfer ended: each failure is a kind with the number the user is
// shown as its code.
enum TransferCode : int {
    TRANSFER_OK = 0,
    TRANSFER_NO_PORT = 100,        // the port was not open
    TRANSFER_PROGRAM_START = 101,  // the chronometer refused to start a component
    TRANSFER_DATA_BLOCK = 102,     // a data block was not confirmed
    TRANSFER_WRITE = 103,          // the write into flash did not end well
    TRANSFER_RESTART = 104,        // all written, the restart not confirmed
    TRANSFER_LISTING = 106,        // the chronometer stopped answering before the transfer
    TRANSFER_BAD_TYPE = 107,       // the plan holds a partition that cannot be written
    TRANSFER_ERASE = 108,          // erasing a flash block failed
};

// What the user can do about it; a terminal turns the key into words.
enum class Hint {
    None,
    PortMissing,        // the port does not exist here
    PortInUse,          // another program holds it
    PortNotSerial,      // the device is no serial port
    PortSettings,       // the device refuses the line settings
    CheckChronometer,   // cable and "Aggiornamento software" mode
    RetryCable,         // the listing broke off: cable, then again
    NoSerialPort,       // nothing to connect the chronometer to
    RetryCommand,       // 100: the port was not open
    ChronometerMode,    // 101: the chronometer refused to start the component
    RetryWithoutHigh,   // 102: a data block was not confirmed
    RetryWrite,         // 103: the write did not end well
    PowerCycle,         // 104: written, restart not confirmed
    ChronometerSilent,  // 106: the chronometer stopped answering
    Support,            // 107: the plan holds a partition that cannot be written
    RetryErase,         // 108: an erase failed
    ChooseFile,         // the file cannot be used: choose another
};

// Why an update file was refused.
enum class UpdateFileFault {
    NotUpdateFile,  // not an update file, or a damaged one
    NewerFormat,    // written for a newer version of the program
    ReadError,      // reading it failed: detail says how
};

struct Outcome {
    OutcomeKind kind = OutcomeKind::Ok;
    TransferCode code = TRANSFER_OK;  // TransferFailed: its kind and number
    OpenFailure openFailure = OpenFailure::None;
    int osError = 0;
    std::string systemText;  // the OS's text for osError, when the user is shown it
    std::string lastAnswer;  // the chronometer's last answer, Windows-1252
    UpdateFileFault fileFault = UpdateFileFault::NotUpdateFile;  // FileRefused
    std::string detail;  // FileRefused for a read error: what failed
    Hint hint = Hint::None;

    bool ok() const { return kind == OutcomeKind::Ok; }
    explicit operator bool() const { return ok(); }

    static Outcome success() { return Outcome{}; }
    static Outcome portOpenFailed(OpenFailure failure, int osError);
    static Outcome portConfigureFailed(int osError);
    static Outcome noAnswer();
    static Outcome wrongAnswer(const std::string& lastAnswer);
    static Outcome listingIncomplete();
    static Outcome noPorts();
    static Outcome transferFailed(TransferCode code, const std::string& lastAnswer, Hint hint);
    static Outcome fileNotOpened(int osError);
    static Outcome fileRefused(UpdateFileFault fault, const std::string& detail = {});
    static Outcome logNotOpened();
};

// A text from the update file or the chronometer (Windows-1252, maybe NUL
// padded, CR LF line ends) ready for a window: UTF-8, LF line ends, every
// line cut at its first NUL.
std::string displayText(const std::string& cp1252);

// A line writer for the diagnostic blocks of the session log; an empty
// function writes nothing.
using LogWriter = std::function<void(const std::string&)>;

}  // namespace zor
