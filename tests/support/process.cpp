/* process.cpp - running programs and temporary directories for tests. */
#include "support/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace twtest {

static std::string slurpFd(int fd)
{
    std::string s;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, (size_t)n);
    return s;
}

ProcessResult runProcess(const std::vector<std::string> &argv, const std::string &cwd,
                         const std::vector<std::string> &env, const std::vector<std::string> &unset)
{
    // Output goes to temporary files rather than pipes so that a child that
    // writes a lot to both streams cannot deadlock against us.
    char outName[] = "/tmp/twtest-outXXXXXX";
    char errName[] = "/tmp/twtest-errXXXXXX";
    int outFd = mkstemp(outName);
    int errFd = mkstemp(errName);
    if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");
    unlink(outName);
    unlink(errName);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        dup2(outFd, 1);
        dup2(errFd, 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        for (const auto &name : unset) unsetenv(name.c_str());
        for (const auto &kv : env) {
            auto eq = kv.find('=');
            setenv(kv.substr(0, eq).c_str(), eq == std::string::npos ? "" : kv.c_str() + eq + 1, 1);
        }
        std::vector<char *> args;
        for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {}
    ProcessResult r;
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    lseek(outFd, 0, SEEK_SET);
    lseek(errFd, 0, SEEK_SET);
    r.out = slurpFd(outFd);
    r.err = slurpFd(errFd);
    close(outFd);
    close(errFd);
    return r;
}

TempDir::TempDir()
{
    const char *base = getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/twtest-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    // Resolve symbolic links so that paths compare equal to what the
    // library computes from the working directory.
    path_ = std::filesystem::canonical(buf.data()).string();
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Restore write permission first, so that tests may leave read-only
    // files and directories behind.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        chmod(it->path().c_str(), it->is_directory() ? 0700 : 0600);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string &rel, const std::string &content) const
{
    std::filesystem::path p = std::filesystem::path(path_) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f << content;
    return p.string();
}

std::string TempDir::mkdir(const std::string &rel) const
{
    std::filesystem::path p = std::filesystem::path(path_) / rel;
    std::filesystem::create_directories(p);
    return p.string();
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

bool fileExists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace twtest
