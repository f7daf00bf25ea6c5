// Backup files for the commands: read from a path or standard input, checked
// before a transfer, and written to a path, a name of their own or standard
// output.
#pragma once

#include "cli.h"

#include <optional>
#include <string>

// A backup file ("-": standard input); false with why it is not one.
bool ReadBackup(const std::string& path, CString& description, Image& image, std::string& error);

// "cannot load PATH: error"; kFileError.
int CannotLoad(const std::string& path, const std::string& error);

// A backup file, or else a raw image of 1 to 8192 bytes; description, when
// given, receives a backup file's description (a raw image has none: false).
bool LoadImage(const std::string& path, Image& image, std::string& error,
               std::optional<CString>* description = nullptr);

// Where get saves: checked before the port is opened, so that a download is
// never made for a file that cannot be written.
class OutputFile {
public:
    // The path given ("-": standard output), or empty for a name of its own
    // that starts with prefix.
    OutputFile(std::string path, bool force, std::string prefix = "bc245xlt")
        : m_path(std::move(path)), m_force(force), m_prefix(std::move(prefix)) {}

    // Whether the file can be made: the folder is there and writable, no file
    // is there unless it may be replaced, standard output is not a terminal.
    // The exit status and message when not.
    bool Check(int& status);
    // Writes the backup; the exit status and message when it cannot.
    bool Write(const CString& description, const Image& image, int& status);
    // The path written, or "standard output".
    const std::string& Name() const { return m_path; }

private:
    std::string m_path;
    bool m_force;
    std::string m_prefix;
    bool m_named = false; // the name was chosen here
};
