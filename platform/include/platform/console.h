// What a command-line program needs of the system it runs on: its standard
// streams, whether they are terminals and how wide, the user's requests to
// stop, and the file system's plain questions, in UTF-8 paths.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

// Standard streams that whoever started the program closed are taken again by
// the null device, so that no file the program opens becomes one of them; on
// a system that tells text from binary streams, standard input and output
// carry bytes as they are, and the console shows UTF-8.
void PrepareStandardStreams();

bool IsTerminal(std::FILE* stream);
// The width of the terminal the stream goes to, in columns; 0 when unknown.
int TerminalColumns(std::FILE* stream);

// The signal numbers that stand for the user's requests to stop.
inline constexpr int kStopInterrupt = 2; // Ctrl-C
inline constexpr int kStopHangUp = 1;    // the terminal went away
inline constexpr int kStopTerminate = 15;

// From now on the user's requests to stop (Ctrl-C, the terminal or console
// window closed, a request to end) call onStop with the number that stands
// for each, and a change of the terminal's size calls onResize. A reader of
// the output that goes away ends nothing. Both are called where only flags
// may be set.
void CatchStopRequests(void (*onStop)(int), void (*onResize)());

enum class PathKind { Missing, File, Folder, Other };
// What a path names, following links; size receives a file's length and
// error why a path could not be looked at.
PathKind KindOfPath(const std::string& path, std::int64_t* size = nullptr, int* error = nullptr);
// Whether there is anything of that name, a link that leads nowhere included.
bool PathExists(const std::string& path);
// The folder a path is in: "." for a bare name.
std::string FolderOfPath(const std::string& path);
// 0 when this user may make files in the folder, else the error number.
int FolderWriteError(const std::string& folder);
// An empty file of this user's own in the temporary folder: its path, or ""
// with error set.
std::string CreateScratchFile(int& error);
void RemoveFile(const std::string& path);
// An error number (errno's values) in words.
std::string ErrorText(int error);
// The local time now.
std::tm LocalTimeNow();
// fopen for a UTF-8 path.
std::FILE* OpenFile(const std::string& path, const char* mode);
// The program's arguments as UTF-8, whatever the system's own code page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);
