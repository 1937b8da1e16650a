#include "batch.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct BatchRequest {
    std::vector<std::string> files;
    std::vector<std::string> options;  // passed on to every run
    std::string outdir;
    int jobs = 1;
};

// The value of option szName among the options, or szDefault.
std::string optionValue(const std::vector<std::string>& options, const char* szName,
                        const char* szDefault) {
    for (size_t i = 0; i + 1 < options.size(); ++i) {
        if (options[i] == szName) {
            return options[i + 1];
        }
    }
    return szDefault;
}

// The extension each command's output gets in the output folder.
std::string outputExtension(const std::string& command, const std::vector<std::string>& options) {
    if (command == "image") {
        const std::string format = optionValue(options, "--format", "png");
        return "." + (format == "jpeg" ? std::string("jpg") : format);
    }
    if (command == "product") {
        const std::string format = optionValue(options, "--format", "f32");
        if (format == "csv") {
            return ".zip";
        }
        if (format == "odim") {
            return ".h5";
        }
        if (!optionValue(options, "--composite-grid", "").empty() && format == "f32") {
            return ".bin.gz";
        }
        return "." + format;
    }
    const std::string to = optionValue(options, "--to", "");
    return to == "odim" ? ".h5" : "." + to;
}

std::string stemOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of('/') + 1);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) {
        name.resize(name.size() - 3);
    }
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.resize(dot);
    }
    return name;
}

// 0 a batch request, 1 not one, 2 a bad one (reported).
int parseBatch(const char* szCommand, int argc, char** argv, BatchRequest* pReq) {
    int i = 0;
    for (; i < argc && (argv[i][0] != '-' || std::strcmp(argv[i], "-") == 0); ++i) {
        pReq->files.emplace_back(argv[i]);
    }
    bool hasOutdir = false;
    bool hasOutput = false;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--outdir" || arg == "-j") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "rdr %s: %s needs a value\n", szCommand, argv[i]);
                return 2;
            }
            const char* value = argv[++i];
            if (arg == "--outdir") {
                pReq->outdir = value;
                hasOutdir = true;
            } else {
                char* end = nullptr;
                const long n = std::strtol(value, &end, 10);
                if (*end != '\0' || n < 1 || n > 64) {
                    std::fprintf(stderr, "rdr %s: -j takes 1 to 64 jobs\n", szCommand);
                    return 2;
                }
                pReq->jobs = static_cast<int>(n);
            }
            continue;
        }
        hasOutput = hasOutput || arg == "-o" || arg == "--output";
        pReq->options.push_back(arg);
    }
    if (!hasOutdir) {
        return 1;
    }
    if (hasOutput) {
        std::fprintf(stderr, "rdr %s: --outdir names the outputs; leave out -o\n", szCommand);
        return 2;
    }
    if (std::strcmp(szCommand, "convert") == 0 && optionValue(pReq->options, "--to", "").empty()) {
        std::fprintf(stderr, "rdr convert: --outdir needs --to uf|odim to name the outputs\n");
        return 2;
    }
    if (pReq->files.empty()) {
        std::fprintf(stderr,
                     "rdr %s: --outdir needs the input files first: rdr %s FILE... "
                     "--outdir DIR [options]\n",
                     szCommand, szCommand);
        return 2;
    }
    return 0;
}

// Runs the command on one file in a child; returns its pid, or -1.
pid_t startOne(CommandRun run, const std::string& file, const std::vector<std::string>& options,
               const std::string& output) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // The child: the command's own report of its output stays out of the batch's.
    if (FILE* devnull = std::freopen("/dev/null", "w", stdout); devnull == nullptr) {
        _exit(1);
    }
    std::vector<std::string> args = {file};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("-o");
    args.push_back(output);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int status = run(static_cast<int>(args.size()), argv.data());
    std::fflush(nullptr);
    _exit(status);
}

}  // namespace

int runBatch(const char* szCommand, CommandRun run, int argc, char** argv) {
    BatchRequest req;
    if (const int rc = parseBatch(szCommand, argc, argv, &req); rc != 0) {
        return rc == 1 ? -1 : rc;
    }
    struct stat st {};
    if (stat(req.outdir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "rdr %s: %s: not a folder (%s) [create it first]\n", szCommand,
                     req.outdir.c_str(), std::strerror(errno ? errno : ENOTDIR));
        return 2;
    }
    // Two inputs of the same name would write one output over the other.
    const std::string extension = outputExtension(szCommand, req.options);
    std::map<std::string, std::string> outputs;
    for (const std::string& file : req.files) {
        const std::string out = req.outdir + "/" + stemOf(file) + extension;
        if (auto [it, added] = outputs.emplace(out, file); !added) {
            std::fprintf(stderr, "rdr %s: %s and %s would both write %s [batch them apart]\n",
                         szCommand, it->second.c_str(), file.c_str(), out.c_str());
            return 2;
        }
    }

    const bool progress = isatty(STDERR_FILENO) == 1;
    std::map<pid_t, std::string> running;  // pid -> file
    std::vector<std::string> failed;
    size_t next = 0;
    size_t done = 0;
    while (done < req.files.size()) {
        while (next < req.files.size() && static_cast<int>(running.size()) < req.jobs) {
            const std::string& file = req.files[next++];
            const pid_t pid =
                startOne(run, file, req.options, req.outdir + "/" + stemOf(file) + extension);
            if (pid < 0) {
                std::fprintf(stderr, "rdr %s: %s: cannot start (%s)\n", szCommand, file.c_str(),
                             std::strerror(errno));
                failed.push_back(file);
                ++done;
                continue;
            }
            running.emplace(pid, file);
        }
        if (running.empty()) {
            continue;
        }
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        auto it = running.find(pid);
        if (it == running.end()) {
            continue;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            if (WIFSIGNALED(status)) {
                std::fprintf(stderr, "rdr %s: %s: the run ended by signal %d\n", szCommand,
                             it->second.c_str(), WTERMSIG(status));
            }
            failed.push_back(it->second);
        }
        running.erase(it);
        ++done;
        if (progress) {
            std::fprintf(stderr, "\r[%zu/%zu] %zu failed", done, req.files.size(), failed.size());
        }
    }
    if (progress) {
        std::fprintf(stderr, "\n");
    }
    std::printf("rdr %s: %zu of %zu files done into %s", szCommand,
                req.files.size() - failed.size(), req.files.size(), req.outdir.c_str());
    if (!failed.empty()) {
        std::printf("; failed:");
        for (const std::string& f : failed) {
            std::printf(" %s", f.c_str());
        }
    }
    std::printf("\n");
    return failed.empty() ? 0 : 1;
}
