#include "support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

const char PRINTER_PATH[] = "\\\\?\\usb#vid_1a2b&pid_0100#P100A0001#"
                            "{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

namespace {

std::string slurp(std::FILE *file) {
    std::string text;
    std::rewind(file);
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        text.append(chunk, n);
    }
    return text;
}

} // namespace

Outcome run_prnfeed(const std::vector<std::string> &args) {
    std::vector<std::string> storage;
    storage.push_back("prnfeed");
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &s : storage) {
        argv.push_back(&s[0]);
    }
    argv.push_back(nullptr);

    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    std::fflush(stdout);
    std::fflush(stderr);
    int saved_out = dup(1);
    int saved_err = dup(2);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);

    int exit_value = prnfeed_main(static_cast<int>(storage.size()), argv.data());

    std::fflush(stdout);
    std::fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    Outcome run{exit_value, slurp(out), slurp(err)};
    std::fclose(out);
    std::fclose(err);
    return run;
}

standin::Interface &add_usb_printer(const std::string &path, const std::string &id) {
    return standin::add_printer(standin::usbprint_class, path, id);
}

std::string banner() {
    return "PRNFEED Version 1.0(08/20/2002)\n\n";
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

standin::Bytes pattern(std::size_t size, unsigned seed) {
    standin::Bytes bytes(size);
    unsigned value = seed;
    for (auto &b : bytes) {
        value = value * 1103515245u + 12345u;
        b = static_cast<unsigned char>(value >> 16);
    }
    return bytes;
}

void reset_prnfeed() {
    standin::reset();
    std::memset(out_pipe_path, 0, sizeof(out_pipe_path));
    std::memset(in_pipe_path, 0, sizeof(in_pipe_path));
}

void PrnfeedTest::SetUp() {
    reset_prnfeed();
    char templ[] = "/tmp/prnfeed-test-XXXXXX";
    ASSERT_NE(mkdtemp(templ), nullptr);
    dir = templ;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
    previous_dir = cwd;
    ASSERT_EQ(chdir(dir.c_str()), 0);
}

void PrnfeedTest::TearDown() {
    reset_prnfeed();
    EXPECT_EQ(chdir(previous_dir.c_str()), 0);
    std::string command = "rm -rf '" + dir + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
}

std::string PrnfeedTest::make_file(const std::string &name, const standin::Bytes &content) {
    std::ofstream out(dir + "/" + name, std::ios::binary);
    out.write(reinterpret_cast<const char *>(content.data()),
              static_cast<std::streamsize>(content.size()));
    return name;
}

std::vector<std::string> calls_of(const std::string &function) {
    std::vector<std::string> list;
    for (const standin::Call &call : standin::sys().calls) {
        if (call.function == function) {
            list.push_back(call.args + " -> " + call.result);
        }
    }
    return list;
}

int count_calls(const std::string &function) {
    return static_cast<int>(calls_of(function).size());
}
