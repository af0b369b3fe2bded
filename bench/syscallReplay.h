// The system calls of one library call, captured once with strace from a
// run of this benchmark program and replayed raw: the same calls with the
// same paths, flags, descriptors, sizes and offsets, and nothing else. The
// traced run marks the call it wants captured by looking up the path
// "<root>/call-boundary" before and after it; the paths of its root are
// replayed below another root (the timing process's own).
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace benchsupport {

constexpr char kCallBoundary[] = "/call-boundary";

// What a traced run calls around the call to capture.
inline void markCallBoundary(const std::string& root) {
    ::access((root + kCallBoundary).c_str(), F_OK);
}

class SyscallReplay {
public:
    // Runs this program with args under strace and keeps the calls between
    // its two boundary marks; false with a reason when strace is missing or
    // a call is one the replay does not know.
    bool capture(const std::string& args, std::string& why) {
        char self[4096] = {0};
        if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return fail(why, "no /proc/self/exe");
        if (std::system("command -v strace >/dev/null 2>&1") != 0) return fail(why, "strace is not installed");
        char out[] = "/tmp/platsim-bench-replay-XXXXXX";
        int fd = ::mkstemp(out);
        if (fd < 0) return fail(why, "no temporary file");
        ::close(fd);
        // Raw flags and empty strings: every argument a number or a path.
        std::string command = std::string("strace -X raw -s 0 -o ") + out + " '" + self + "' " + args +
                              " >/dev/null 2>&1";
        bool ran = std::system(command.c_str()) == 0;
        std::ifstream in(out);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ::unlink(out);
        if (!ran) return fail(why, "the traced run failed: " + command);
        return parse(lines, why);
    }

    // Makes the calls' paths paths below root (in place of the traced run's
    // root), once, so that a replay builds no strings.
    void placeBelow(const std::string& root) {
        iv_hostPaths.clear();
        for (const Call& c : iv_calls) iv_hostPaths.push_back(root + c.path);
    }

    // The calls, on the paths placeBelow made; buffer takes what reads
    // return (at least largestRead() bytes).
    void run(std::vector<char>& buffer) const {
        int fds[kMaxFd];
        ssize_t got = 0;  // what a transfer returned; unused
        for (size_t i = 0; i < iv_calls.size(); ++i) {
            const Call& c = iv_calls[i];
            const char* path = iv_hostPaths[i].c_str();
            struct stat st;
            switch (c.kind) {
            case Kind::Open: {
                int fd = ::openat(AT_FDCWD, path, c.a, static_cast<mode_t>(c.b));
                if (c.fd >= 0) fds[c.fd] = fd;
                break;
            }
            case Kind::Close: ::close(fds[c.fd]); break;
            case Kind::Flock: ::flock(fds[c.fd], static_cast<int>(c.a)); break;
            case Kind::Pread:
                got = ::pread(fds[c.fd], buffer.data(), static_cast<size_t>(c.a), static_cast<off_t>(c.b));
                break;
            case Kind::Read: got = ::read(fds[c.fd], buffer.data(), static_cast<size_t>(c.a)); break;
            case Kind::StatPath: ::fstatat(AT_FDCWD, path, &st, static_cast<int>(c.a)); break;
            case Kind::StatFd: ::fstat(fds[c.fd], &st); break;
            case Kind::Seek: ::lseek(fds[c.fd], static_cast<off_t>(c.a), static_cast<int>(c.b)); break;
            case Kind::Getpid: ::getpid(); break;
            }
        }
        (void)got;
    }

    size_t calls() const { return iv_calls.size(); }
    size_t largestRead() const { return iv_largestRead; }

private:
    static constexpr int kMaxFd = 1024;
    enum class Kind { Open, Close, Flock, Pread, Read, StatPath, StatFd, Seek, Getpid };
    struct Call {
        Kind kind;
        int fd = -1;          // the descriptor used, or the one an open returned
        std::string path;     // below the root
        int64_t a = 0, b = 0;  // flags and mode; size and offset; operation
    };

    static bool fail(std::string& why, const std::string& text) {
        why = text;
        return false;
    }

    // The numbers of "name(n, ...)   = r": the arguments that are numbers
    // (a quoted path is taken apart), the result.
    struct Line {
        std::string name, path;
        std::vector<int64_t> numbers;
        bool hasPath = false;
        int64_t result = 0;
    };

    static bool split(const std::string& text, Line& line) {
        size_t open = text.find('('), equals = text.rfind(" = ");
        size_t close = equals == std::string::npos ? equals : text.rfind(')', equals);
        if (open == std::string::npos || close == std::string::npos || close < open) return false;
        line.name = text.substr(0, open);
        line.result = std::strtoll(text.c_str() + equals + 3, nullptr, 0);
        std::string args = text.substr(open + 1, close - open - 1);
        size_t at = 0;
        while (at < args.size()) {
            while (at < args.size() && args[at] == ' ') ++at;
            if (args[at] == '"') {
                size_t close = args.find('"', at + 1);
                if (close == std::string::npos) return false;
                line.path = args.substr(at + 1, close - at - 1);
                line.hasPath = true;
                at = close + 1;
                if (args.compare(at, 3, "...") == 0) at += 3;
            } else if (args[at] == '{') {
                size_t close = args.find('}', at);
                if (close == std::string::npos) return false;
                at = close + 1;
            } else {
                char* end = nullptr;
                line.numbers.push_back(std::strtoll(args.c_str() + at, &end, 0));
                at = static_cast<size_t>(end - args.c_str());
            }
            size_t comma = args.find(',', at);
            at = comma == std::string::npos ? args.size() : comma + 1;
        }
        return true;
    }

    bool parse(const std::vector<std::string>& lines, std::string& why) {
        std::vector<size_t> marks;
        std::string root;
        for (size_t i = 0; i < lines.size(); ++i) {
            size_t at = lines[i].find(std::string(kCallBoundary) + "\"");
            if (at == std::string::npos) continue;
            size_t quote = lines[i].find('"');
            root = lines[i].substr(quote + 1, at - quote - 1);
            marks.push_back(i);
        }
        if (marks.size() != 2) return fail(why, "the traced run did not mark one call");
        for (size_t i = marks[0] + 1; i < marks[1]; ++i) {
            if (lines[i].compare(0, 3, "---") == 0) continue;  // a signal
            Line l;
            if (!split(lines[i], l)) return fail(why, "cannot read: " + lines[i]);
            auto below = [&](std::string& path) {
                if (l.path.compare(0, root.size(), root) != 0) return false;
                path = l.path.substr(root.size());
                return true;
            };
            auto fdOf = [&](int64_t n) { return n >= 0 && n < kMaxFd ? static_cast<int>(n) : -1; };
            Call c{};
            const size_t n = l.numbers.size();
            if (l.name == "openat" && l.hasPath && n >= 2 && l.numbers[0] == AT_FDCWD && below(c.path)) {
                c.kind = Kind::Open;
                c.a = l.numbers[1];
                c.b = n >= 3 ? l.numbers[2] : 0;
                c.fd = fdOf(l.result);
            } else if (l.name == "close" && n == 1) {
                c.kind = Kind::Close;
                c.fd = fdOf(l.numbers[0]);
            } else if (l.name == "flock" && n == 2) {
                c = {Kind::Flock, fdOf(l.numbers[0]), "", l.numbers[1], 0};
            } else if (l.name == "pread64" && n == 3) {
                c = {Kind::Pread, fdOf(l.numbers[0]), "", l.numbers[1], l.numbers[2]};
            } else if (l.name == "read" && n == 2) {
                c = {Kind::Read, fdOf(l.numbers[0]), "", l.numbers[1], 0};
            } else if (l.name == "lseek" && n == 3) {
                c = {Kind::Seek, fdOf(l.numbers[0]), "", l.numbers[1], l.numbers[2]};
            } else if (l.name == "newfstatat" && l.hasPath && l.path.empty() && n == 2) {
                c.kind = Kind::StatFd;
                c.fd = fdOf(l.numbers[0]);
            } else if (l.name == "newfstatat" && l.hasPath && n == 2 && l.numbers[0] == AT_FDCWD &&
                       below(c.path)) {
                c.kind = Kind::StatPath;
                c.a = l.numbers[1];
            } else if (l.name == "getpid" && n == 0) {
                c.kind = Kind::Getpid;
            } else {
                return fail(why, "not replayed: " + lines[i]);
            }
            if (c.fd < 0 && c.kind != Kind::Open && c.kind != Kind::StatPath && c.kind != Kind::Getpid)
                return fail(why, "no descriptor: " + lines[i]);
            if (c.kind == Kind::Pread || c.kind == Kind::Read)
                iv_largestRead = std::max(iv_largestRead, static_cast<size_t>(c.a));
            iv_calls.push_back(c);
        }
        return true;
    }

    std::vector<Call> iv_calls;
    std::vector<std::string> iv_hostPaths;  // each call's path below the replay's root
    size_t iv_largestRead = 0;
};

}  // namespace benchsupport
