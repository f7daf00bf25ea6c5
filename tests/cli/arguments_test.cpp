// The command line as a table: what each line gives, before any port or
// transfer is involved.
#include "cli_fixture.h"

#include "backup/format.h"

#include <set>
#include <sys/stat.h>

namespace {

struct Line {
    std::vector<std::string> args;
    int status;
    std::string said; // a part of what it prints, on standard output or error
};

TEST_F(CliTest, EachCommandLineGivesItsStatusAndMessage) {
    const std::string file = (dir / "a.mrv").string();
    const std::string dashed = (dir / "-x.mrv").string();
    const auto image = Pattern(2);
    ASSERT_EQ(WriteBackupFile(file, "A", 32, image.data()), 1);
    ASSERT_EQ(WriteBackupFile(dashed, "dashed", 32, image.data()), 1);
    const std::string folder = dir.string();
    const std::vector<Line> table = {
        {{"--version"}, 0, "bc245xlt-cli 1.0.0.1 (BC245XLT Morvane Utility v1.0)\n"},
        {{"-V"}, 0, "BC245XLT Morvane Utility v1.0"},
        {{"-h"}, 0, "  6    verify: the memory differs from the file"},
        {{"show", "--help"}, 0, "Exit status:"},
        {{}, kUsage, "bc245xlt-cli: no command given\nTry 'bc245xlt-cli --help'.\n"},
        {{"--port=COM1"}, kUsage, "no command given"},
        {{"frobnicate"}, kUsage, "bc245xlt-cli: unknown command 'frobnicate'"},
        {{"get", "--bogus"}, kUsage, "unknown option '--bogus'"},
        {{"get", "--bogus=1"}, kUsage, "unknown option '--bogus'"},
        {{"get", "-qz"}, kUsage, "unknown option '-z'"},
        {{"get", "--port"}, kUsage, "option '--port' needs a value"},
        {{"get", "-p"}, kUsage, "option '-p' needs a value"},
        {{"get", "--force=yes", "-pCOM1"}, kUsage, "option '--force' takes no value"},
        {{"get", "-o", file}, kUsage, "get needs --port PORT"},
        {{"get", "--port="}, kUsage, "get needs --port PORT"},
        {{"get", "-p", "COM1", file}, kUsage, "takes no FILE"},
        {{"get", "-p", "COM1", "--json"}, kUsage, "option --json does not go with get"},
        {{"show", "-y", file}, kUsage, "option -y/--yes does not go with show"},
        {{"send", "--verify", "--port=COM1"}, kUsage, "send needs --port PORT and one FILE"},
        {{"diff", file}, kUsage, "diff needs two files"},
        {{"diff", "-", "-"}, kUsage, "only one of the two files can be standard input"},
        // Standard input is not a terminal here: an upload needs --yes.
        {{"send", "-p", "COM1", file}, kUsage, "confirm with --yes"},
        // Options go anywhere and bundle; "--" ends them.
        {{"-q", "show", file}, 0, "Description: A\n"},
        {{"show", "--", "-x.mrv"}, 0, "Description: dashed\n"},
        {{"show", "-x.mrv"}, kUsage, "unknown option '-x'"},
        {{"diff", "-q", file, file}, 0, "0 of 2 blocks differ"},
        // Where get would save is looked at before any port.
        {{"get", "-qp", "COM9", "-o", folder + "/missing/x.mrv"},
         kFileError,
         "bc245xlt-cli: cannot save " + folder + "/missing/x.mrv: the folder " + folder +
             "/missing does not exist"},
        {{"get", "--port=COM9", "--output=" + file}, kFileError, "exists; use --force"},
        {{"get", "-fp", "COM9", "-o", folder}, kFileError, "it is a folder"},
        {{"get", "-fp", "COM9", "-o", file}, kPortError, "cannot open the port: COM9: no such"},
        {{"show", folder + "/none.mrv"},
         kFileError,
         "bc245xlt-cli: cannot load " + folder + "/none.mrv: no such file\n"},
        {{"show", folder}, kFileError, "bc245xlt-cli: cannot load " + folder + ": is a folder\n"},
        {{"show", "/dev/zero"},
         kFileError,
         "bc245xlt-cli: cannot load /dev/zero: not a regular file\n"},
        {{"diff", file, "/dev/null"},
         kFileError,
         "bc245xlt-cli: cannot load /dev/null: not a regular file\n"},
        {{"ports", "--watch", "--timeout=1"},
         1,
         "Plug in the receiver's cable now (Ctrl-C to stop)\u2026\nbc245xlt-cli: no serial device "
         "appeared within 1 s"},
        {{"ports", "--watch", "--timeout", "soon"},
         kUsage,
         "takes a number of seconds, not 'soon'"},
        {{"get", "-p", "COM1", "--watch"}, kUsage, "option --watch does not go with get"},
        {{"send", "-y", "-p", "COM9", "--backup-first=-", file},
         kUsage,
         "--backup-first=FILE takes a file, not standard output"},
        {{"get", "-p", "COM1", "--backup-first"},
         kUsage,
         "option --backup-first does not go with get"},
    };
    for (const Line& line : table) {
        std::string joined;
        for (const std::string& arg : line.args) {
            joined += " " + arg;
        }
        SCOPED_TRACE("bc245xlt-cli" + joined);
        RunSetup inFolder;
        inFolder.workDir = dir;
        const Outcome outcome = Cli(line.args, inFolder);
        EXPECT_EQ(outcome.status, line.status) << outcome.err;
        EXPECT_NE((outcome.out + outcome.err).find(line.said), std::string::npos)
            << outcome.out << outcome.err;
    }
}

TEST_F(CliTest, StandardInputAndOutputStandForFiles) {
    const std::string file = (dir / "a.mrv").string();
    const auto image = Pattern(3);
    ASSERT_EQ(WriteBackupFile(file, "From a pipe", 48, image.data()), 1);
    // show - and diff - read the file from standard input, a pipe included.
    const fs::path script = dir / "pipe.sh";
    std::ofstream(script) << "cat \"$2\" | \"$1\" show -\ncat \"$2\" | \"$1\" diff - \"$2\"\n";
    const std::string command =
        "sh " + script.string() + " " + BuiltPath("BCU_CLI", BCU_CLI) + " " + file + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string said;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        said.append(buffer, got);
    }
    EXPECT_EQ(::pclose(pipe), 0) << said;
    EXPECT_EQ(said.rfind("Description: From a pipe\n0000\t", 0), 0u) << said;
    EXPECT_NE(said.find("0 of 3 blocks differ"), std::string::npos) << said;
    // What is far longer than any backup file is refused, not read forever.
    const std::string endless =
        "yes | " + std::string(BuiltPath("BCU_CLI", BCU_CLI)) + " show - 2>&1";
    pipe = ::popen(endless.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    said.clear();
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        said.append(buffer, got);
    }
    EXPECT_EQ(WEXITSTATUS(::pclose(pipe)), kFileError);
    EXPECT_NE(said.find("standard input: longer than any backup file"), std::string::npos) << said;
}

// The terminal devices of this machine, as bash offers them after --port.
std::set<std::string> Terminals() {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator("/dev")) {
        if (entry.path().filename().string().rfind("tty", 0) == 0) {
            found.insert(entry.path().string());
        }
    }
    return found;
}

// What bash offers at the end of each command line, in a folder with
// backup files, another file and a folder.
TEST_F(CliTest, TheShellCompletesCommandsOptionsPortsAndBackups) {
    for (const char* name : {"a.mrv", "b c.mrv", "notes.txt"}) {
        std::ofstream(dir / name) << "";
    }
    fs::create_directory(dir / "sub");
    using Offers = std::set<std::string>;
    const std::vector<std::pair<std::string, Offers>> table = {
        {"''", {"get", "send", "verify", "show", "diff", "ports"}},
        {"se", {"send"}},
        {"send --v", {"--verify", "--version"}},
        {"ports --", {"--quiet", "--help", "--version", "--json", "--watch", "--timeout="}},
        {"get --port C", {"COM1", "COM2", "COM3", "COM4"}},
        {"get --port = C", {"COM1", "COM2", "COM3", "COM4"}},
        {"get --port /dev/tty", Terminals()},
        {"show ''", {"a.mrv", "b c.mrv", "sub"}},
        {"get -o ''", {"a.mrv", "b c.mrv", "sub"}},
        {"get -d ''", {}},
    };
    const fs::path script = dir / "complete.sh";
    const std::string completion = BuiltPath("BCU_COMPLETION_DIR", BCU_COMPLETION_DIR);
    for (const auto& [words, offered] : table) {
        SCOPED_TRACE(words);
        std::ofstream(script) << "cd " << dir << " || exit 1\n"
                              << "source " << completion << "/bc245xlt-cli.bash\n"
                              << "COMP_WORDS=(bc245xlt-cli " << words << ")\n"
                              << "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                              << "_bc245xlt_cli\n"
                              << "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
        FILE* shell = ::popen(("bash " + script.string()).c_str(), "r");
        ASSERT_NE(shell, nullptr);
        Offers said;
        char line[256];
        while (std::fgets(line, sizeof line, shell) != nullptr) {
            std::string entry(line);
            entry.pop_back();
            if (!entry.empty()) {
                said.insert(entry);
            }
        }
        EXPECT_EQ(::pclose(shell), 0);
        EXPECT_EQ(said, offered);
    }
}

// The virtual receiver's own command line: errors carry its name, and what
// is no image is refused at once, not read forever or waited on.
TEST_F(CliTest, TheVirtualReceiverSaysWhatIsWrongWithItsCommandLine) {
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string program = BuiltPath("BCU_VIRTUAL_RECEIVER", BCU_VIRTUAL_RECEIVER);
    const std::vector<Line> table = {
        {{"--version"}, 0, "bc245xlt-virtual-receiver (BC245XLT Morvane Utility v1.0)\n"},
        {{}, 2, "bc245xlt-virtual-receiver: no mode given (first or clone)"},
        {{"second"}, 2, "bc245xlt-virtual-receiver: unknown mode 'second'"},
        {{"first", "--baud=fast"}, 2, "option '--baud' takes a number, not 'fast'"},
        {{"first", "--records"}, 2, "option '--records' needs a value"},
        {{"first", "--crlf=1"}, 2, "option '--crlf' takes no value"},
        {{"first", "--then", "first"}, 2, "--then takes first after clone, or clone after first"},
        {{"first", "--image", "/dev/zero"}, 1, "cannot read /dev/zero: not a regular file"},
        {{"first", "--image", fifo.string()}, 1, ": not a regular file"},
    };
    for (const Line& line : table) {
        std::string command = "timeout 5 " + program;
        for (const std::string& arg : line.args) {
            command += " '" + arg + "'";
        }
        SCOPED_TRACE(command);
        FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string said;
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            said.append(buffer, got);
        }
        EXPECT_EQ(WEXITSTATUS(::pclose(pipe)), line.status) << said;
        EXPECT_NE(said.find(line.said), std::string::npos) << said;
    }
}

} // namespace

namespace {

// A FIFO is never waited on, a file this user may not read says so in the
// system's words, and two backups that differ only in their description are
// not the same.
TEST_F(CliTest, FilesThatCannotBeReadAndDescriptionsThatDiffer) {
    const fs::path open = OpenFolder();
    const fs::path fifo = open / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const Outcome waited = Cli({"show", fifo.string()});
    EXPECT_EQ(waited.status, kFileError);
    EXPECT_EQ(waited.err, "bc245xlt-cli: cannot load " + fifo.string() + ": not a regular file\n");

    const auto image = Pattern(2);
    const std::string a = (open / "a.mrv").string();
    const std::string b = (open / "b.mrv").string();
    ASSERT_EQ(WriteBackupFile(a, "Weekend", 32, image.data()), 1);
    ASSERT_EQ(WriteBackupFile(b, "Weekday", 32, image.data()), 1);
    const Outcome differ = Cli({"diff", a, b});
    EXPECT_EQ(differ.status, 1) << differ.err;
    EXPECT_EQ(differ.out, "Descriptions differ:\n- Weekend\n+ Weekday\n0 of 2 blocks differ\n");
    EXPECT_EQ(Cli({"diff", a, a}).status, 0);

    if (OrdinaryUser() >= 0) {
        fs::permissions(a, fs::perms::owner_read | fs::perms::owner_write);
        const Outcome denied = Cli({"show", a}, nullptr, OrdinaryUser());
        EXPECT_EQ(denied.status, kFileError);
        EXPECT_EQ(denied.err, "bc245xlt-cli: cannot load " + a + ": permission denied\n");
    }
}

} // namespace
