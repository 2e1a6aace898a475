// convert_prog - the converter's throughput against a lexer that builds
// nothing.
//
// Generates a menu file (by default 500,000 menus with 2,500,000 entries,
// about 104 MB), converts it with pagelift and counts its words with
// `wc -w`, each three times, and reports the best times, MB/s, pagelift's
// peak memory and the ratio of the two times. Smaller files of a quarter and
// a half of the menus come first: for linear behaviour the time per entry
// stays about the same from row to row. The script's checksum lets two
// builds be compared for identical output.
//
// Each menu has five entries: a link to the next menu, a link to a menu read
// earlier, a special action and two plain entries, one with a comment.
//
// Usage: convert_prog [menus]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string makeInput(int menus)
{
    std::string s;
    s.reserve((size_t)menus * 210);
    for (int i = 0; i < menus; ++i) {
        std::string name = "Menu" + std::to_string(i);
        s += name + " 1 {\n";
        s += "    0 0 0 0 \"Next\" \"&Menu" + std::to_string(i + 1) + "\"\n";
        s += "    0 0 0 0 \"Back\" \"&Menu" + std::to_string(i / 2) + "\"\n";
        s += "    0 0 0 0 \"Window\" \"&zr_window\"\n";
        s += "    0 0 0 0 'Run it' \"run " + name + " --all\"\n";
        s += "    0 0 0 0 \"Help\" help_" + name + "   | a comment\n";
        s += "}\n";
    }
    return s;
}

struct Run {
    double seconds;
    long peakKb;  // the child's largest resident set
};

// Runs the program with its standard output sent to stdoutPath; ends the
// bench when the program fails.
Run runProgram(const char *path, const char *const argv[], const char *stdoutPath)
{
    fflush(stdout);  // the child must not inherit unwritten output
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen(stdoutPath, "w", stdout)) _exit(126);
        execvp(path, const_cast<char *const *>(argv));
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "%s failed (status %d)\n", path, status);
        exit(1);
    }
    return Run{seconds, usage.ru_maxrss};
}

Run bestOf(int times, const char *path, const char *const argv[], const char *stdoutPath)
{
    Run best{1e9, 0};
    for (int i = 0; i < times; ++i) {
        Run r = runProgram(path, argv, stdoutPath);
        best.seconds = std::min(best.seconds, r.seconds);
        best.peakKb = std::max(best.peakKb, r.peakKb);
    }
    return best;
}

bool writeFile(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "w");
    if (!f) return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

// FNV-1a over the file's bytes; 0 when it cannot be read.
uint64_t checksum(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return 0;
    uint64_t h = 14695981039346656037ull;
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        for (size_t i = 0; i < n; ++i) h = (h ^ (unsigned char)buf[i]) * 1099511628211ull;
    fclose(f);
    return h;
}

double megabytes(size_t bytes)
{
    return (double)bytes / 1e6;
}

}  // namespace

int main(int argc, char **argv)
{
    int maxMenus = argc > 1 ? atoi(argv[1]) : 500000;
    if (maxMenus < 4) {
        fprintf(stderr, "usage: convert_prog [menus (at least 4)]\n");
        return 2;
    }
    char dir[] = "/tmp/pagelift-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::string in = std::string(dir) + "/menus.def", out = std::string(dir) + "/menus.tcl";
    const char *const pagelift[] = {"pagelift", in.c_str(), out.c_str(), nullptr};
    const char *const wc[] = {"wc", "-w", in.c_str(), nullptr};

    printf("%10s %10s %12s %10s %10s %14s %10s\n", "menus", "entries", "input MB", "seconds", "MB/s",
           "ns per entry", "peak MB");
    size_t bytes = 0;
    Run convert{};
    for (int menus : {maxMenus / 4, maxMenus / 2, maxMenus}) {
        std::string text = makeInput(menus);
        bytes = text.size();
        if (!writeFile(in, text)) return 1;
        convert = bestOf(3, PAGELIFT_EXE, pagelift, "/dev/null");
        long entries = 5L * menus;
        printf("%10d %10ld %12.1f %10.3f %10.1f %14.1f %10.1f\n", menus, entries, megabytes(bytes),
               convert.seconds, megabytes(bytes) / convert.seconds, convert.seconds * 1e9 / entries,
               convert.peakKb / 1024.0);
    }

    Run words = bestOf(3, "wc", wc, "/dev/null");
    printf("\nwc -w on the same %.1f MB: %.3f s, %.1f MB/s\n", megabytes(bytes), words.seconds,
           megabytes(bytes) / words.seconds);
    printf("pagelift / wc -w: %.2f times the time (goal: 3 or less)\n", convert.seconds / words.seconds);
    printf("script checksum (FNV-1a 64): %016" PRIx64 "\n", checksum(out));

    unlink(in.c_str());
    unlink(out.c_str());
    rmdir(dir);
    return 0;
}
