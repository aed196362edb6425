#pragma once
// GestFile: reads a whole update file into the component table.
//
// An update file is a run of segments, each a prologue of PROLOGUE_SIZE bytes
// (never interpreted), a header of HEADER_SIZE bytes starting "$UPDATE$", n
// data blocks of BLOCK_SIZE bytes and CHECK_SIZE check bytes (complemented
// CRC-16 of the blocks, low byte first). The loader only reads update files; it never writes one.
#include <cstddef>
#include <functional>
#include <string>

#include "app/outcome.h"
#include "updatefile/segment.h"

namespace zor {

// Reads fileName into components from slot 0 on.
//
// Precondition: every slot of components is empty (asserted per slot, unit GestFile).
//
// On return:
// - versionLines holds, for every segment whose magic was accepted, its
//   Version with trailing codes <= 32 removed, followed by "\r\n";
// - identifier holds the ID of the last such segment as "%04X-%04X";
// - on success slots 0..k-1 hold the k segments read (InfoType in plain form,
//   datiSize blocks in dati) and the rest are untouched (empty);
// - on failure the segments read before the failing one stay in their slots
//   and the failing slot is empty;
// - segmentsRead, when given, receives k (also on failure).
//
// busy, when given, is called with true before each segment is read and with
// false after it, however it ends: the hourglass of a window.
//
// Memory: a segment's blocks are checked through a fixed piece of the file
// before the segment gets a buffer of the size its header claims, so a
// refused file costs that piece, whatever SegSize says; an accepted one costs
// what it holds. The file is opened twice at the start: a second reader
// fetches the blocks that passed, and they must pass again (with the same
// header), so a file that changes while it is read is refused.
//
// A file with more than UPDATE_SLOTS segments, a SegSize below 678 other than
// four blanks, or a size beyond 32 bits is refused as not an update file.
// Succeeds when at least one segment was read and all passed every check;
// else FileNotOpened, or FileRefused with the fault (not an update file, a
// newer format, a read error with its text).
Outcome ReadUpdateFile(const std::string& fileName, UpdateTable& components,
                       std::string& versionLines, std::string& identifier,
                       size_t* segmentsRead = nullptr, const std::function<void(bool)>& busy = {});

// Empties every slot, then ReadUpdateFile.
Outcome LoadUpdateFile(const std::string& fileName, UpdateTable& components,
                       std::string& versionLines, std::string& identifier,
                       size_t* segmentsRead = nullptr, const std::function<void(bool)>& busy = {});

}  // namespace zor
