// convert_prog - times pagelift on generated menu files of growing size.
//
// Each file holds n menus of five entries: a link to the next menu, a link
// to a menu read earlier, a special action and two plain entries. The sizes
// double up to 200,000 menus with 1,000,000 entries; for linear behaviour
// the time per entry stays about the same from row to row.
//
// Usage: convert_prog [max-menus]   (default 200000)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

static std::string makeInput(int menus)
{
    std::string s;
    s.reserve((size_t)menus * 160);
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

static double runPagelift(const std::string &in, const std::string &out)
{
    fflush(stdout);  // the child must not inherit unwritten output
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout)) _exit(126);
        execl(PAGELIFT_EXE, "pagelift", in.c_str(), out.c_str(), (char *)nullptr);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "pagelift failed (status %d)\n", status);
        exit(1);
    }
    return secs;
}

int main(int argc, char **argv)
{
    int maxMenus = argc > 1 ? atoi(argv[1]) : 200000;
    char dir[] = "/tmp/pagelift-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    std::string in = std::string(dir) + "/menus.def", out = std::string(dir) + "/menus.tcl";

    printf("%10s %10s %12s %10s %14s\n", "menus", "entries", "input bytes", "seconds", "ns per entry");
    for (int menus = maxMenus / 8; menus <= maxMenus; menus *= 2) {
        std::string text = makeInput(menus);
        FILE *f = fopen(in.c_str(), "w");
        if (!f) return 1;
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
        double best = 1e9;
        for (int run = 0; run < 3; ++run) best = std::min(best, runPagelift(in, out));
        long entries = 5L * menus;
        printf("%10d %10ld %12zu %10.3f %14.1f\n", menus, entries, text.size(), best, best * 1e9 / entries);
    }
    unlink(in.c_str());
    unlink(out.c_str());
    rmdir(dir);
    return 0;
}
