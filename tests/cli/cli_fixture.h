// The command-line tool end to end: the real program against the virtual
// receiver on a pseudo-terminal, its files in a temporary folder.
#pragma once

#include "built_path.h"
#include "core/image.h"
#include "virtual_receiver.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

inline constexpr int kUsage = 2;
inline constexpr int kPortError = 3;
inline constexpr int kTransferFailed = 4;
inline constexpr int kFileError = 5;
inline constexpr int kInterrupted = 130;
inline constexpr int kNotVerified = 6;
inline constexpr uid_t kNobody = 65534;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs program with args in place of this process.
[[noreturn]] inline void ExecProgram(const std::string& program,
                                     const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(99);
}

// How the tool is run: what happens while it runs (given its process id), as
// which user, in which folder, and where its standard error goes.
struct RunSetup {
    std::function<void(pid_t)> during;
    int asUser = -1;
    fs::path workDir;
    enum class Errors { File, Pipe, Closed } errors = Errors::File;
};

// The virtual receiver as a program of its own, as a person runs it; ended
// when it goes.
class ReceiverProcess {
public:
    explicit ReceiverProcess(const std::vector<std::string>& args) {
        int pipeFds[2];
        if (::pipe(pipeFds) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(pipeFds[1], 1);
            ::closefrom(3);
            ExecProgram(BuiltPath("BCU_VIRTUAL_RECEIVER", BCU_VIRTUAL_RECEIVER), args);
        }
        ::close(pipeFds[1]);
        m_out = pipeFds[0];
    }
    ~ReceiverProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0) {
            ::close(m_out);
        }
    }
    ReceiverProcess(const ReceiverProcess&) = delete;
    ReceiverProcess& operator=(const ReceiverProcess&) = delete;

    // Reads what it prints until a line holding text has come; false when it
    // ended first.
    bool WaitFor(const std::string& text) {
        char byte = 0;
        while (m_said.find(text) == std::string::npos) {
            if (::read(m_out, &byte, 1) != 1) {
                return false;
            }
            m_said += byte;
        }
        return true;
    }
    const std::string& Said() const { return m_said; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_said;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "bc245xlt-cli-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        fs::permissions(dir, fs::perms::owner_all | fs::perms::others_exec);
        port = (dir / "COM1").string();
    }
    void TearDown() override {
        receiver.reset();
        std::error_code ignored;
        fs::remove_all(dir, ignored);
    }

    VirtualReceiver& Receiver() {
        std::string error;
        receiver = VirtualReceiver::Create(port, error);
        if (!receiver) {
            throw std::runtime_error(error);
        }
        return *receiver;
    }

    // Runs the tool with standard input from /dev/null; during() runs while
    // it does, with its process id; asUser runs it as that user.
    Outcome Cli(const std::vector<std::string>& args,
                const std::function<void(pid_t)>& during = nullptr, int asUser = -1) {
        RunSetup setup;
        setup.during = during;
        setup.asUser = asUser;
        return Cli(args, setup);
    }

    Outcome Cli(const std::vector<std::string>& args, const RunSetup& setup) {
        // Another user runs a copy in the test's folder, which that user can
        // reach wherever the build is.
        std::string program = BuiltPath("BCU_CLI", BCU_CLI);
        if (setup.asUser >= 0) {
            const fs::path copy = dir / "bc245xlt-cli";
            fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
            fs::permissions(copy, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
            program = copy.string();
        }
        const fs::path out = dir / "stdout";
        const fs::path err = dir / "stderr";
        int pipeFds[2] = {-1, -1};
        if (setup.errors == RunSetup::Errors::Pipe && ::pipe(pipeFds) != 0) {
            return {};
        }
        const pid_t child = ::fork();
        if (child == 0) {
            const int in = ::open("/dev/null", O_RDONLY);
            const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(in, 0);
            ::dup2(o, 1);
            switch (setup.errors) {
            case RunSetup::Errors::File:
                ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
                break;
            case RunSetup::Errors::Pipe:
                ::dup2(pipeFds[1], 2);
                break;
            case RunSetup::Errors::Closed:
                ::close(2);
                break;
            }
            ::closefrom(3);
            if (!setup.workDir.empty() && ::chdir(setup.workDir.c_str()) != 0) {
                ::_exit(97);
            }
            if (setup.asUser >= 0 && (::setgid(static_cast<gid_t>(setup.asUser)) != 0 ||
                                      ::setuid(static_cast<uid_t>(setup.asUser)) != 0)) {
                ::_exit(98);
            }
            ExecProgram(program, args);
        }
        if (pipeFds[1] >= 0) {
            ::close(pipeFds[1]);
            errorPipe = pipeFds[0];
        }
        if (setup.during) {
            setup.during(child);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        if (errorPipe >= 0) {
            ::close(errorPipe);
            errorPipe = -1;
        }
        const bool file = setup.errors == RunSetup::Errors::File;
        return {WIFEXITED(status) ? WEXITSTATUS(status) : 200, Slurp(out), file ? Slurp(err) : ""};
    }

    // A receiver on the port that an ordinary user may open too.
    VirtualReceiver& SharedReceiver() {
        std::string error;
        ReceiverSetup setup;
        setup.ownerUid = static_cast<int>(kNobody);
        setup.ownerGid = static_cast<int>(kNobody);
        receiver = VirtualReceiver::Create(port, error, setup);
        if (!receiver) {
            throw std::runtime_error(error);
        }
        return *receiver;
    }

    // The user an ordinary user's test runs as: nobody when the test is root.
    static int OrdinaryUser() { return ::geteuid() == 0 ? static_cast<int>(kNobody) : -1; }

    // A folder in the test's folder that anyone may write.
    fs::path OpenFolder() {
        const fs::path open = dir / "open";
        fs::create_directories(open);
        fs::permissions(open, fs::perms::all);
        return open;
    }

    // Standard error's read end while the tool runs with RunSetup::Errors::Pipe.
    int errorPipe = -1;
    fs::path dir;
    std::string port;
    std::unique_ptr<VirtualReceiver> receiver;
};

inline std::vector<std::uint8_t> Pattern(int records) {
    std::vector<std::uint8_t> image(static_cast<std::size_t>(records) * kBlockSize);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<std::uint8_t>(i * 13 + i / 7);
    }
    return image;
}
