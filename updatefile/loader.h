#pragma once
// GestFile: reads a whole update file into the component table.
//
// An update file is a run of segments, each a 512-byte prologue (never
// interpreted), a 164-byte header starting "$UPDATE$", n data blocks of 260
// bytes and two check bytes (complemented CRC-16 of the blocks, low byte
// first). The loader only reads update files; it never writes one.
#include <cstddef>
#include <string>

#include "app/ui_sink.h"
#include "updatefile/segment.h"

namespace zor {

// Reads fileName into pgm from slot 0 on.
//
// Precondition: every slot of pgm is empty (asserted per slot, unit GestFile).
//
// On return:
// - versionLines holds, for every segment whose magic was accepted, its
//   Version with trailing codes <= 32 removed, followed by "\r\n";
// - identifier holds the ID of the last such segment as "%04X-%04X";
// - on success slots 0..k-1 hold the k segments read (InfoType in plain form,
//   datiSize blocks in dati) and the rest are untouched (empty);
// - on failure the segments read before the failing one stay in their slots,
//   the failing slot is empty, and the user has been told why through ui
//   (captions appTitle + " - Impossibile caricare il file" and, when the file
//   cannot be opened, "Errore apertura file" before it).
// - segmentsRead, when given, receives k (also on failure).
//
// A file with more than UPDATE_SLOTS segments, a SegSize below 678 other than
// four blanks, or a size beyond 32 bits is refused as not an update file.
// Returns true when at least one segment was read and all passed every check.
bool ReadUpdateFile(const std::string& fileName, UpdateTable& pgm, std::string& versionLines,
                    std::string& identifier, UiSink& ui, const std::string& appTitle,
                    size_t* segmentsRead = nullptr);

// Empties every slot, then ReadUpdateFile.
bool LoadUpdateFile(const std::string& fileName, UpdateTable& pgm, std::string& versionLines,
                    std::string& identifier, UiSink& ui, const std::string& appTitle,
                    size_t* segmentsRead = nullptr);

}  // namespace zor
