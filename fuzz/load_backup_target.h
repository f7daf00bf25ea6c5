// One run of the backup loader on arbitrary bytes, with the checks every run
// must pass; shared by the fuzzer and by the test that replays its corpus.
#pragma once

#include "BackupDlg.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Writes the bytes to scratchPath, loads them and checks what the load left:
// it loaded exactly the files the format allows (each line measured by all of
// its bytes), on failure nothing changed, on success the file's own length and
// image, from 1 to 8192 bytes, with the listing to match. Returns a description of the first broken
// rule, or "".
std::string LoadBackupOnce(CBackupDlg& dlg, const std::string& scratchPath,
                           const std::uint8_t* data, std::size_t size);
