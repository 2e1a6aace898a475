/* process.h - helpers for tests that run programs and touch the file system.
 *
 * Every test that creates files does so in a fresh temporary directory,
 * never in the home directory or in system directories.
 */
#ifndef TW_TESTS_SUPPORT_PROCESS_H
#define TW_TESTS_SUPPORT_PROCESS_H

#include <string>
#include <vector>

namespace twtest {

struct ProcessResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;  // everything written to standard output
    std::string err;  // everything written to standard error
};

// Runs argv[0] (a path) with the given arguments in directory cwd. The child
// gets this process's environment, with the names in 'unset' removed and
// then every "NAME=value" of 'env' set.
ProcessResult runProcess(const std::vector<std::string> &argv, const std::string &cwd,
                         const std::vector<std::string> &env = {},
                         const std::vector<std::string> &unset = {});

// A fresh directory below $TMPDIR (or /tmp), removed with its contents at
// destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // Writes a file (creating missing parent directories) and returns its
    // absolute path; rel is relative to the directory.
    std::string write(const std::string &rel, const std::string &content) const;
    // Creates a directory (and its parents) and returns its absolute path.
    std::string mkdir(const std::string &rel) const;

private:
    std::string path_;
};

std::string readFile(const std::string &path);
bool fileExists(const std::string &path);

}  // namespace twtest

#endif
