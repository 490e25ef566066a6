// Runs the built program in fresh temporary folders and checks what it leaves on disk,
// what it prints and its exit status.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace e2e {

inline const std::string kProlog = "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\r\n";

inline std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void write_file(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string shell_quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The command that runs the program: QUORLAN_COMMAND (such as a Windows build under
// Wine) or the executable built beside these tests.
inline std::string program_command() {
    if (const char* command = std::getenv("QUORLAN_COMMAND"); command != nullptr && *command != '\0') {
        return command;
    }
    return shell_quote(QUORLAN_EXE);
}

// QUORLAN_PLATFORM=windows says that the command runs the Windows build (under Wine),
// for the few checks where the platforms differ by nature.
inline bool windows_build() {
    const char* platform = std::getenv("QUORLAN_PLATFORM");
    return platform != nullptr && std::string_view(platform) == "windows";
}

// Messages on the console end their lines the platform's way: LF, or CR LF on Windows.
// Gives the text with LF line ends after checking that.
inline std::string console_text(const std::string& text) {
    if (!windows_build()) return text;
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        if (text[i] == '\n') {
            EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
        }
        plain += text[i];
    }
    return plain;
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

class Folder {
public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "quorlan-e2e-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        fs::create_directory(path_ / "work");
    }
    ~Folder() {
        std::error_code ignored;
        fs::permissions(dir(), fs::perms::owner_all, ignored);
        fs::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    fs::path dir() const { return path_ / "work"; }
    void write(const std::string& name, std::string_view bytes) const { write_file(dir() / name, bytes); }
    std::string read(const std::string& name) const { return read_file(dir() / name); }
    bool exists(const std::string& name) const { return fs::exists(fs::symlink_status(dir() / name)); }

    RunResult run(const std::string& arguments = "") const {
        RunResult result = run_once(arguments);
        // quorlan never fails without a line on standard error that begins "quorlan:".
        // Under Wine, a run that does is Wine's own failure to start or to finish the
        // process (seen rarely, on a loaded machine): say so and run it again.
        for (int retry = 0; retry < 2 && windows_build() && result.status != 0 && !says_why(result.err); ++retry) {
            std::fprintf(stderr, "note: Wine ended a run with status %d and %s; running it again\n",
                         result.status, result.err.empty() ? "no message" : ("\"" + result.err + "\"").c_str());
            result = run_once(arguments);
        }
        return result;
    }

    // Runs a shell command in the folder instead of the program alone.
    RunResult run_command(const std::string& command) const { return run_once(command, true); }

    // Files in the folder, for checking that nothing else was created.
    std::vector<std::string> names() const {
        std::vector<std::string> list;
        for (const auto& entry : fs::directory_iterator(dir())) list.push_back(entry.path().filename().string());
        std::sort(list.begin(), list.end());
        return list;
    }

private:
    RunResult run_once(const std::string& arguments, bool whole_command = false) const {
        const std::string program =
            whole_command ? "{ " + arguments + "; }" : program_command() + (arguments.empty() ? "" : " " + arguments);
        const std::string command = "cd " + shell_quote(dir().string()) + " && " + program + " >" +
                                    shell_quote((path_ / "stdout").string()) + " 2>" +
                                    shell_quote((path_ / "stderr").string()) + " </dev/null";
        const int raw = std::system(command.c_str());
        RunResult result;
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = read_file(path_ / "stdout");
        result.err = read_file(path_ / "stderr");
        return result;
    }

    static bool says_why(const std::string& err) {
        return err.rfind("quorlan:", 0) == 0 || err.find("\nquorlan:") != std::string::npos;
    }

    fs::path path_;
};

// Starts the program with `arguments` in `dir`, standard output to `out_fd` and standard
// error to the file `err`. A test run as a background job inherits ignored signals; the
// program gets them at their defaults.
inline pid_t start_program(const fs::path& dir, const std::string& arguments, int out_fd, const fs::path& err) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        for (const int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
        dup2(out_fd, 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execl("/bin/sh", "sh", "-c", ("exec " + program_command() + arguments).c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

// Waits for the program: its exit status, or 128 + the signal that ended it, as a shell says.
inline int wait_for_program(pid_t pid) {
    int raw = 0;
    waitpid(pid, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// A run of the program whose card file is a FIFO that the test feeds, so that the test
// knows when the run is in the middle of its work.
class FedRun {
public:
    explicit FedRun(const Folder& f, const std::string& cards = "import.vcf", const std::string& arguments = "")
        : top_(f.dir().parent_path()) {
        std::signal(SIGPIPE, SIG_IGN);  // the program may end before it has read everything
        const fs::path fifo = f.dir() / cards;
        if (mkfifo(fifo.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
        const int out = open((top_ / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_ = start_program(f.dir(), arguments, out, top_ / "stderr");
        close(out);
        // The open succeeds once the program has opened the card file, which it does only
        // after reading quorlan.ini; a program that stopped before never does.
        for (int tries = 0; tries < 10000 && fd_ < 0; ++tries) {
            fd_ = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (fd_ >= 0) fcntl(fd_, F_SETFL, 0);
    }
    ~FedRun() {
        if (pid_ > 0) finish();
    }
    FedRun(const FedRun&) = delete;
    FedRun& operator=(const FedRun&) = delete;

    pid_t pid() const { return pid_; }

    // Writes `bytes` to the card file; false once the program has stopped reading.
    bool feed(std::string_view bytes) {
        while (fd_ >= 0 && !bytes.empty()) {
            const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return fd_ >= 0;
    }

    // Ends the card file and waits for the program.
    RunResult finish() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
        RunResult result;
        result.status = wait_for_program(pid_);
        pid_ = -1;
        result.out = read_file(top_ / "stdout");
        result.err = read_file(top_ / "stderr");
        return result;
    }

private:
    fs::path top_;
    pid_t pid_ = -1;
    int fd_ = -1;
};

// True once a name in `f`'s folder begins with `prefix`, waiting up to ten seconds.
inline bool wait_for_file(const Folder& f, const std::string& prefix) {
    for (int tries = 0; tries < 10000; ++tries) {
        for (const std::string& name : f.names()) {
            if (name.rfind(prefix, 0) == 0) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Many cards with a long photo line each: every card is its own block of the card file.
inline std::string many_cards(std::size_t bytes) {
    const std::string card = "BEGIN:VCARD\r\nN:Novak;Jan\r\nPHOTO:" + std::string(3000, 'A') + "\r\nEND:VCARD\r\n";
    std::string cards;
    while (cards.size() < bytes) cards += card;
    return cards;
}

inline std::string document(std::string_view element, std::string_view body) {
    return kProlog + "<" + std::string(element) + ">\r\n" + std::string(body) + "</" +
           std::string(element) + ">\r\n";
}

// The program with the fault library of these tests preloaded in `mode` (see fault_shim.cpp),
// or an empty text where there is none: another build, or not Linux.
inline std::string program_with_shim([[maybe_unused]] const std::string& mode) {
#ifdef QUORLAN_FAULT_SHIM
    if (std::getenv("QUORLAN_COMMAND") == nullptr) {
        return "env LD_PRELOAD=" + shell_quote(QUORLAN_FAULT_SHIM) + " QUORLAN_SHIM=" + shell_quote(mode) + " " +
               program_command();
    }
#endif
    return {};
}

// A run that fails prints exactly one line naming the problem and the file.
inline void expect_one_error_line(const RunResult& r, const std::string& words, const std::string& file) {
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(r.err.rfind("quorlan: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    if (!file.empty()) {
        EXPECT_NE(r.err.find("'" + file + "'"), std::string::npos) << r.err;
    }
}

// True when xmllint reads the file as a well-formed document in its declared encoding.
inline bool is_well_formed_xml(const fs::path& path) {
    const std::string command = "xmllint --noout " + shell_quote(path.string()) + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

inline std::string data(const std::string& name) { return read_file(fs::path(QUORLAN_TEST_DATA) / name); }

}  // namespace e2e
