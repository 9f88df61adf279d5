// A stand-in for the converter: logs its arguments and plays a scenario file
// (see testsupport.h) so that tests can produce every outcome on demand.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t terminated = 0;
void onTerm(int)
{
    terminated = 1;
}

std::string unescape(const std::string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            out += s[i];
        }
    }
    return out;
}

// How many conversion runs (information runs not counted) the log holds.
int conversionRuns(const char *log)
{
    std::ifstream in(log, std::ios::binary);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        const bool info =
            line.rfind(std::string("-i\0", 3), 0) == 0 && std::count(line.begin(), line.end(), '\0') == 2;
        if (!info)
            ++count;
    }
    return count;
}
} // namespace

int main(int argc, char **argv)
{
    std::signal(SIGTERM, onTerm);
    int run = 0;
    if (const char *log = std::getenv("FAKE_FFMPEG_LOG")) {
        // Runs started at the same moment must not both count themselves as
        // the later one: logging and counting happen under one lock.
        const std::string lockName = std::string(log) + ".lock";
        const int lock = ::open(lockName.c_str(), O_CREAT | O_RDWR, 0600);
        if (lock >= 0)
            ::flock(lock, LOCK_EX);
        {
            std::ofstream out(log, std::ios::app | std::ios::binary);
            for (int i = 1; i < argc; ++i)
                out << argv[i] << '\0';
            out << '\n';
        }
        run = conversionRuns(log);
        if (lock >= 0)
            ::close(lock);
    }
    // An information run ("-i" and a file) plays its own scenario when one is set.
    const char *scenario = std::getenv("FAKE_FFMPEG_SCENARIO");
    if (argc == 3 && std::strcmp(argv[1], "-i") == 0 && std::getenv("FAKE_FFMPEG_INFO_SCENARIO"))
        scenario = std::getenv("FAKE_FFMPEG_INFO_SCENARIO");
    std::ifstream in(scenario ? scenario : "");
    std::string line;
    while (std::getline(in, line)) {
        // "@=ARG LINE": the line holds only for a run given the argument ARG; runs
        // started at the same moment are told apart by what they convert.
        if (line.rfind("@=", 0) == 0) {
            const size_t space = line.find(' ');
            const std::string wanted =
                line.substr(2, space == std::string::npos ? std::string::npos : space - 2);
            if (space == std::string::npos ||
                std::none_of(argv + 1, argv + argc, [&](const char *a) { return wanted == a; }))
                continue;
            line = line.substr(space + 1);
        }
        // "@N LINE": the line holds only for the N-th conversion run.
        else if (line.size() > 1 && line[0] == '@') {
            const size_t space = line.find(' ');
            if (space == std::string::npos || std::atoi(line.c_str() + 1) != run)
                continue;
            line = line.substr(space + 1);
        }
        const std::string word = line.substr(0, line.find(' '));
        const std::string rest = line.size() > word.size() ? line.substr(word.size() + 1) : "";
        if (word == "pid") {
            // "pid FILE": note the process id, so a test can see it is gone.
            std::ofstream(rest) << getpid() << '\n';
        } else if (word == "cwd") {
            // "cwd FILE": note the working folder (appended) and leave a file in it,
            // as a first pass leaves its statistics.
            char here[4096];
            if (getcwd(here, sizeof here)) {
                std::ofstream(rest, std::ios::app) << here << '\n';
                std::ofstream(std::string(here) + "/pass.log") << "stats\n";
            }
        } else if (word == "err") {
            const std::string text = unescape(rest);
            ::write(2, text.data(), text.size());
        } else if (word == "errbytes") {
            // "errbytes COUNT": that many bytes of warning lines, no status line.
            const long count = std::atol(rest.c_str());
            const std::string warn = "[warning] non monotonically increasing dts to muxer\n";
            for (long done = 0; done < count; done += long(warn.size()))
                ::write(2, warn.data(), warn.size());
        } else if (word == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(rest.c_str())));
            if (terminated)
                return 255;
        } else if (word == "ask") {
            // The converter's question before it replaces a file: an empty standard
            // input answers "no" at once; an open pipe would keep the real one waiting
            // for ever, the fake gives up after three seconds and says so.
            const char question[] = "File 'out' already exists. Overwrite? [y/N] ";
            ::write(2, question, sizeof question - 1);
            pollfd input{0, POLLIN, 0};
            char answer = 0;
            if (::poll(&input, 1, 3000) <= 0) {
                const char msg[] = "standard input left open\n";
                ::write(2, msg, sizeof msg - 1);
                return 1;
            }
            if (::read(0, &answer, 1) != 1 || answer != 'y') {
                const char msg[] = "Not overwriting - exiting\n";
                ::write(2, msg, sizeof msg - 1);
                return 1;
            }
        } else if (word == "output" && argc > 1) {
            // "output FILE [BYTES]": the run's output (its last argument) becomes a
            // copy of FILE, cut after BYTES bytes when given: a real, a cut-off or a
            // stream-less file behind a run that still ends with success.
            const size_t space = rest.rfind(' ');
            const bool cut = space != std::string::npos &&
                             rest.find_first_not_of("0123456789", space + 1) == std::string::npos &&
                             space + 1 < rest.size();
            const std::string from = cut ? rest.substr(0, space) : rest;
            std::ifstream source(from, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(source)), std::istreambuf_iterator<char>());
            if (cut)
                bytes.resize(std::min(bytes.size(), size_t(std::atol(rest.c_str() + space + 1))));
            std::ofstream(argv[argc - 1], std::ios::binary | std::ios::trunc) << bytes;
        } else if (word == "outputtext" && argc > 1) {
            // "outputtext TEXT": the output holds just this text (\n escapes).
            std::ofstream(argv[argc - 1], std::ios::binary | std::ios::trunc) << unescape(rest);
        } else if (word == "exit") {
            return std::atoi(rest.c_str());
        } else if (word == "signal") {
            std::signal(std::atoi(rest.c_str()), SIG_DFL);
            std::raise(std::atoi(rest.c_str()));
        } else if (word == "dieonterm") {
            // Not ready to end in order yet: the termination request kills it.
            std::signal(SIGTERM, SIG_DFL);
            for (;;)
                pause();
        } else if (word == "waitterm") {
            while (!terminated)
                usleep(10000);
            const char msg[] = "Exiting normally, received signal 15.\n";
            ::write(2, msg, sizeof msg - 1);
            return 255;
        }
    }
    return 0;
}
