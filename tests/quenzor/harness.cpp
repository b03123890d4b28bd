// SPDX-License-Identifier: GPL-2.0-only
#include "harness.h"

#include <errno.h>
#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

extern char **environ;

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

Sandbox::Sandbox() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quenzor-test-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    dir_ = tmpl;
}

Sandbox::~Sandbox() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

RunResult Sandbox::run(const std::vector<std::string> &args) {
    const Target &t = target();
    const std::string out_path = dir_ + "/stdout";
    const std::string err_path = dir_ + "/stderr";
    const std::string trace_path = dir_ + "/trace";
    std::filesystem::remove(trace_path);

    std::vector<std::string> argv = t.launcher;
    if (!t.launcher.empty()) {
        // qemu-user passes its environment on, but the preload must only
        // reach the emulated program.
        argv.push_back("-E");
        argv.push_back("LD_PRELOAD=" + t.standin);
    }
    argv.push_back(t.quenzor);
    argv.insert(argv.end(), args.begin(), args.end());

    std::vector<std::string> envs;
    for (char **e = environ; *e != nullptr; ++e) {
        if (strncmp(*e, "SPI_STANDIN_", 12) == 0 || strncmp(*e, "LD_PRELOAD=", 11) == 0 ||
            strncmp(*e, "ASAN_OPTIONS=", 13) == 0)
            continue;
        envs.emplace_back(*e);
    }
    if (t.launcher.empty())
        envs.push_back("LD_PRELOAD=" + t.standin);
    // The stand-in is preloaded ahead of the sanitizer runtime of an
    // instrumented build.
    const char *asan = getenv("ASAN_OPTIONS");
    envs.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? std::string(asan) + ":" : "") +
                   "verify_asan_link_order=0");
    envs.push_back("SPI_STANDIN_TRACE=" + trace_path);
    for (const auto &[k, v] : env)
        envs.push_back("SPI_STANDIN_" + k + "=" + v);

    std::vector<char *> cargv;
    for (auto &a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    std::vector<char *> cenv;
    for (auto &e : envs)
        cenv.push_back(e.data());
    cenv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int o = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int e = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int n = open("/dev/null", O_RDONLY);
        if (o < 0 || e < 0 || n < 0)
            _exit(126);
        dup2(n, 0);
        dup2(o, 1);
        dup2(e, 2);
        execvpe(cargv[0], cargv.data(), cenv.data());
        const std::string msg = "cannot run " + argv[0] + ": " + strerror(errno) + "\n";
        (void)!write(2, msg.data(), msg.size());
        _exit(127);
    }
    int ws = 0;
    while (waitpid(pid, &ws, 0) < 0) {
    }

    RunResult r;
    r.out = read_file(out_path);
    r.err = read_file(err_path);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    std::istringstream tr(read_file(trace_path));
    for (std::string line; std::getline(tr, line);) {
        // Descriptor numbers differ between hosts and emulators.
        auto arrow = line.rfind(" -> ");
        if (line.compare(0, 5, "open ") == 0 && arrow != std::string::npos &&
            line[arrow + 4] != '-')
            line = line.substr(0, arrow) + " -> fd";
        r.trace.push_back(line);
    }
    return r;
}
